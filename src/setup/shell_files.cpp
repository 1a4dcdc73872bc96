// Where the shell's own files and the data folder are found: a program in
// its build folder uses the source tree it was built from, an installed one
// looks beside itself (<bin>/../share/norvale), and the working directory
// comes last for the shell files and first for data/.
#include "setup/shell_files.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#ifndef NORVALE_SHARE_FROM_BIN
#define NORVALE_SHARE_FROM_BIN "../share/norvale"
#endif
#ifndef NORVALE_SOURCE_DIR
#define NORVALE_SOURCE_DIR "."
#endif
#ifndef NORVALE_BUILD_DIR
#define NORVALE_BUILD_DIR ""
#endif

namespace {

std::string ExecutablePath() {
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

// Both sides resolved, so a symlinked build folder still matches.
bool SameFolder(const std::string& a, const char* b) {
    char ra[PATH_MAX];
    char rb[PATH_MAX];
    return realpath(a.c_str(), ra) != nullptr && realpath(b, rb) != nullptr &&
           std::string(ra) == rb;
}

bool Readable(const std::string& path) {
    return access(path.c_str(), R_OK) == 0;
}

bool IsFolder(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The places that may hold the shell files or data/, in the order they are
// tried after the working directory's: the source tree (build folder only),
// then the installed share folder.
struct SharePlaces {
    std::string source;     // "" when the program is not in its build folder
    std::string installed;  // "" when the executable cannot be found
};

SharePlaces FindSharePlaces() {
    SharePlaces places;
    std::string exe = ExecutablePath();
    if (exe.empty()) {
        return places;
    }
    if (SameFolder(FolderOf(exe), NORVALE_BUILD_DIR)) {
        places.source = NORVALE_SOURCE_DIR;
    }
    // "/usr/games/../share/norvale" as "/usr/share/norvale", for messages.
    places.installed = std::filesystem::path(FolderOf(exe) + "/" NORVALE_SHARE_FROM_BIN)
                           .lexically_normal()
                           .string();
    return places;
}

}  // namespace

std::string FindShellFile(const char* name) {
    SharePlaces places = FindSharePlaces();
    const std::string candidates[] = {
        places.source.empty() ? std::string() : places.source + "/res/" + name,
        places.installed.empty() ? std::string() : places.installed + "/" + name,
        std::string("res/") + name,
    };
    for (const std::string& path : candidates) {
        if (!path.empty() && Readable(path)) {
            return path;
        }
    }
    return std::string();
}

std::string FindDataFolder(std::string* looked) {
    SharePlaces places = FindSharePlaces();
    const std::string candidates[] = {
        "data",
        places.source.empty() ? std::string() : places.source + "/data",
        places.installed.empty() ? std::string() : places.installed + "/data",
    };
    looked->clear();
    for (const std::string& path : candidates) {
        if (path.empty()) {
            continue;
        }
        if (IsFolder(path)) {
            return path;
        }
        *looked += (looked->empty() ? "" : ", ") + (path == "data" ? "./data" : path);
    }
    return std::string();
}
