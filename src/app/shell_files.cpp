// Where the shell's own files are found: an installed program looks beside
// itself (<bin>/../share/norvale); a program in its build folder uses the
// source tree it was built from. The demo's data/ is not looked up here: it
// stays relative to the working directory.
#include "app/shell_files.h"

#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#ifndef NORVALE_SHARE_FROM_BIN
#define NORVALE_SHARE_FROM_BIN "../share/norvale"
#endif
#ifndef NORVALE_RES_DIR
#define NORVALE_RES_DIR "res"
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

}  // namespace

std::string FindShellFile(const char* name) {
    std::string exe = ExecutablePath();
    std::string installed = FolderOf(exe) + "/" NORVALE_SHARE_FROM_BIN "/" + name;
    if (!exe.empty() && Readable(installed)) {
        return installed;
    }
    std::string source = std::string(NORVALE_RES_DIR) + "/" + name;
    if (!exe.empty() && SameFolder(FolderOf(exe), NORVALE_BUILD_DIR) && Readable(source)) {
        return source;
    }
    return std::string();
}
