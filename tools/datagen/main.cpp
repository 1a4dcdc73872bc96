// norvale-datagen: writes every data file into the folder given (default
// "data"), the same bytes on every run. The music, the terrain pictures
// and the other pictures are made on three threads.
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <thread>

#include "datagen.h"
#include "music.h"

namespace {

bool Report(bool ok, const std::string& path) {
    if (!ok)
        std::fprintf(stderr, "norvale-datagen: cannot write %s\n", path.c_str());
    return ok;
}

bool WriteMusic(const std::string& dir) {
    bool ok =
        Report(WriteSoundtrack((dir + "/preview_kovi.mp3").c_str()), dir + "/preview_kovi.mp3");
    return Report(WriteJingle((dir + "/introeffectmx.mp3").c_str()), dir + "/introeffectmx.mp3") &&
           ok;
}

// The terrain pictures share the height field; they take most of the time.
bool WriteTerrainFiles(const std::string& dir) {
    Field height = MakeHeightField();
    bool ok = Report(WriteHeightMap(dir + "/heightmap.jpg", height), dir + "/heightmap.jpg");
    std::string day = dir + "/heightmaptex.jpg", night = dir + "/heightmaptexnight.jpg";
    return Report(WriteTerrainTextures(day, night, height), day + " or " + night) && ok;
}

bool WriteOtherPictures(const std::string& dir) {
    bool ok = Report(WriteDetail(dir + "/detail.jpg"), dir + "/detail.jpg");
    ok = Report(WriteSkyStars(dir + "/skystars.jpg"), dir + "/skystars.jpg") && ok;
    ok = Report(WriteFlare(dir + "/flare.jpg"), dir + "/flare.jpg") && ok;
    ok = Report(WriteDot(dir + "/dot.jpg"), dir + "/dot.jpg") && ok;
    ok = Report(WriteLightFx(dir + "/lightfx.jpg"), dir + "/lightfx.jpg") && ok;
    ok = Report(WriteGlowMap(dir + "/glowmap.jpg"), dir + "/glowmap.jpg") && ok;
    ok = Report(WriteBoxed(dir + "/boxed.jpg"), dir + "/boxed.jpg") && ok;
    ok = Report(WriteFont(dir + "/font.jpg", dir + "/font.fnt"), dir + "/font.fnt") && ok;
    return Report(WriteLogo(dir + "/logo.tga"), dir + "/logo.tga") && ok;
}

}  // namespace

// Three independent jobs, each writing its own files; nothing is shared, so
// the bytes do not depend on how the threads interleave.
int main(int argc, char** argv) {
    const char* usage = "usage: norvale-datagen [folder]  (default data)\n";
    // An option is never a folder name: "--help" must not fill a folder of that name.
    if (argc > 2 || (argc == 2 && argv[1][0] == '-')) {
        bool help = argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h");
        if (!help)
            std::fprintf(stderr, "norvale-datagen: unknown arguments\n");
        std::fputs(usage, help ? stdout : stderr);
        return help ? 0 : 2;
    }
    std::string dir = argc > 1 ? argv[1] : "data";
    mkdir(dir.c_str(), 0755);
    bool musicOk = false, terrainOk = false;
    std::thread music([&] { musicOk = WriteMusic(dir); });
    std::thread terrain([&] { terrainOk = WriteTerrainFiles(dir); });
    bool othersOk = WriteOtherPictures(dir);
    terrain.join();
    music.join();
    return musicOk && terrainOk && othersOk ? 0 : 1;
}
