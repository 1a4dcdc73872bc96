// Loop figures from /proc/self and the GL context, one CSV row per loop,
// flushed at once so a long run can be watched while it goes.
#include "render_loop_stats.h"

#include <GL/gl.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "render_outputs.h"

namespace {

TextOutput StatsFile;  // open for the whole run when --loop-stats is given

long ReadResidentKb() {
    long pages = 0, resident = 0;
    FILE* statm = std::fopen("/proc/self/statm", "r");
    if (!statm)
        return -1;
    if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
        resident = -1;
    std::fclose(statm);
    return resident < 0 ? -1 : resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// The listing's own descriptor is counted too; it is there every time.
int CountOpenFiles() {
    std::error_code error;
    int count = 0;
    for (std::filesystem::directory_iterator it("/proc/self/fd", error), end; !error && it != end;
         it.increment(error))
        ++count;
    return error ? -1 : count;
}

}  // namespace

LoopStats MeasureLoopStats() {
    LoopStats stats;
    stats.residentKb = ReadResidentKb();
    // Next to the resident size, it tells memory in use from memory the
    // allocator keeps after it was freed.
    const struct mallinfo2 heap = mallinfo2();
    stats.heapKb = static_cast<long>((heap.uordblks + heap.hblkhd) / 1024);
    stats.openFiles = CountOpenFiles();
    for (GLuint name = 1; name < LoopStatsNames; ++name) {
        stats.textures += glIsTexture(name) ? 1 : 0;
        stats.lists += glIsList(name) ? 1 : 0;
    }
    return stats;
}

bool OpenLoopStats(const std::string& path) {
    if (!OpenTextOutput(StatsFile, path))
        return false;
    const char* header = "loop,seconds,rss_kb,fds,gl_textures,gl_lists,heap_kb\n";
    return CheckTextRowWritten(StatsFile, std::fputs(header, StatsFile.file) >= 0);
}

bool WriteLoopStats(int loop, double seconds) {
    if (!StatsFile.file)
        return true;
    if (StatsFile.failed)
        return false;
    const LoopStats s = MeasureLoopStats();
    int n = std::fprintf(StatsFile.file, "%d,%.3f,%ld,%d,%d,%d,%ld\n", loop, seconds, s.residentKb,
                         s.openFiles, s.textures, s.lists, s.heapKb);
    return CheckTextRowWritten(StatsFile, n >= 0 && std::fflush(StatsFile.file) == 0);
}

bool CloseLoopStats() {
    return CloseTextOutput(StatsFile);
}
