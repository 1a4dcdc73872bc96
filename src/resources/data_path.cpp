// Data file paths and the one-line notes about files the demo goes without.
#include "resources/data_path.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>

#include "setup/shell_files.h"

std::string DataDirectory = "data";

namespace {
std::set<std::string> ReportedFiles;  // paths already named this run
}

std::string DataPath(const char* name) {
    return DataDirectory + "/" + name;
}

// What keeps an opened path from being a data file, or null.
static const char* FileKindProblem(const struct stat& info) {
    if (S_ISDIR(info.st_mode)) {
        return "a folder, not a file";
    }
    if (S_ISFIFO(info.st_mode)) {
        return "a pipe, not a file";
    }
    if (!S_ISREG(info.st_mode)) {
        return "not a regular file";
    }
    return info.st_size == 0 ? "empty" : nullptr;
}

// Opened without blocking: a pipe in place of a data file would otherwise
// wait for a writer forever.
FILE* OpenDataFile(const char* path, const char* mode) {
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        ReportUnusableFile(path, std::strerror(errno));
        return nullptr;
    }
    struct stat info;
    const char* problem = fstat(fd, &info) != 0 ? std::strerror(errno) : FileKindProblem(info);
    FILE* file = nullptr;
    if (problem == nullptr && fcntl(fd, F_SETFL, 0) == 0) {
        file = fdopen(fd, mode);
    }
    if (file == nullptr) {
        ReportUnusableFile(path, problem != nullptr ? problem : std::strerror(errno));
        close(fd);
    }
    return file;
}

void ReportDamagedFile(const char* path, const char* problem) {
    if (ReportedFiles.insert(path).second) {
        // program_invocation_short_name: glibc's name of the running program.
        std::fprintf(stderr, "%s: %s: %s\n", program_invocation_short_name, path, problem);
    }
}

void ReportUnusableFile(const char* path, const char* problem) {
    ReportDamagedFile(path, (std::string(problem) + "; the demo goes on without it").c_str());
}

bool ChooseDataFolder(const std::string& requested, const char* whenNone) {
    std::string looked;
    std::string folder = requested.empty() ? FindDataFolder(&looked) : requested;
    struct stat info;
    if (!requested.empty() && (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))) {
        std::fprintf(stderr, "%s: --data %s is not a folder\n", program_invocation_short_name,
                     folder.c_str());
        return false;
    }
    if (folder.empty()) {
        std::fprintf(stderr, "%s: no data folder (looked in %s); %s\n",
                     program_invocation_short_name, looked.c_str(), whenNone);
        return false;
    }
    if (folder != DataDirectory) {
        std::fprintf(stderr, "%s: reading data from %s\n", program_invocation_short_name,
                     folder.c_str());
        DataDirectory = folder;
    }
    return true;
}
