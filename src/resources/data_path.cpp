// Data file paths and the one-line notes about files the demo goes without.
#include "resources/data_path.h"

#include <cerrno>
#include <cstring>
#include <set>

std::string DataDirectory = "data";

namespace {
std::set<std::string> ReportedFiles;  // paths already named this run
}

std::string DataPath(const char* name) {
    return DataDirectory + "/" + name;
}

FILE* OpenDataFile(const char* path, const char* mode) {
    FILE* file = std::fopen(path, mode);
    if (file == nullptr) {
        ReportUnusableFile(path, std::strerror(errno));
    }
    return file;
}

void ReportUnusableFile(const char* path, const char* problem) {
    if (ReportedFiles.insert(path).second) {
        // program_invocation_short_name: glibc's name of the running program.
        std::fprintf(stderr, "%s: %s: %s; the demo goes on without it\n",
                     program_invocation_short_name, path, problem);
    }
}
