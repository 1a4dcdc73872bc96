// norvale-render end to end, on small and short renders: identical output
// from identical runs, exact audio length, picture size, the intro's black
// and logo, scene starts on the timeline, the end after the end step, the
// loop back to the first scene, the video ffmpeg makes of it, and writes
// that fail.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "render_outputs.h"
#include "render_timeline.h"
#include "scenes/scenes.h"

namespace fs = std::filesystem;

namespace {

const std::string Source = NORVALE_SOURCE_DIR;
const std::string Binary = NORVALE_BINARY_DIR;
const std::string Work = Binary + "/render-e2e";

// Music time at which each scene and the end step start, as the soundtrack
// is written: seconds, not the timeline's constants, so a wrong one shows.
const double SceneStartSeconds[] = {0, 32.64, 63.36, 94.08, 155.52, 207.36};
constexpr double EndStepSeconds = EndStepLength * CounterUnitSeconds;

struct LogRow {
    double time;
    int scene;
    double music;  // seconds
    std::string phase;
    double mean;
};

// The folder to render from: the repository's data when it is there, else
// a copy made by the data generator.
std::string DataRoot() {
    static std::string root;
    if (!root.empty())
        return root;
    if (fs::exists(Source + "/data/logo.tga"))
        return root = Source;
    std::string gen = Binary + "/norvale-datagen";
    fs::create_directories(Work + "/gen");
    if (!fs::exists(Work + "/gen/data/logo.tga") && fs::exists(gen) &&
        std::system((gen + " " + Work + "/gen/data > /dev/null 2>&1").c_str()) != 0)
        ADD_FAILURE() << gen << " could not make the data";
    return root = Work + "/gen";
}

// The renderer run in `where` (default: beside the data), its stderr kept
// in last-stderr.txt; a run that hangs is ended after 10 minutes.
int Render(const std::string& args, const std::string& where = "") {
    std::string command = "cd '" + (where.empty() ? DataRoot() : where) + "' && timeout 600 '" +
                          Binary + "/norvale-render' " + args + " 2> '" + Work +
                          "/last-stderr.txt'";
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The renderer run with every file it writes limited to `limitBlocks` (ulimit
// -f, in the shell's blocks: a disk that is full for each of them); its
// status and all it printed.
int RenderLimited(const std::string& args, const std::string& limitBlocks, std::string* printed) {
    std::string command = "cd '" + DataRoot() + "' && (ulimit -f " + limitBlocks + "; exec '" +
                          Binary + "/norvale-render' " + args + ") 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    char buffer[256];
    while (pipe && std::fgets(buffer, sizeof buffer, pipe)) *printed += buffer;
    int status = pipe ? pclose(pipe) : -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Same names, same bytes, in two folders; the number of files.
int ExpectSameFiles(const std::string& a, const std::string& b) {
    int count = 0;
    for (const auto& entry : fs::directory_iterator(a)) {
        std::string name = entry.path().filename();
        EXPECT_EQ(ReadFile(entry.path()), ReadFile(b + "/" + name)) << name;
        ++count;
    }
    return count;
}

std::vector<LogRow> ReadLog(const std::string& path) {
    std::vector<LogRow> rows;
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::stringstream s(line);
        for (std::string cell; std::getline(s, cell, ',');) f.push_back(cell);
        if (f.size() >= 9)
            rows.push_back(
                {std::stod(f[0]), std::stoi(f[1]), std::stod(f[5]), f[7], std::stod(f[8])});
    }
    return rows;
}

const LogRow* RowAt(const std::vector<LogRow>& rows, double time) {
    for (const LogRow& r : rows) {
        if (std::fabs(r.time - time) < 1e-6)
            return &r;
    }
    return nullptr;
}

bool AllScenesPresent() {
    for (SceneFunction f : SceneTable) {
        if (!f)
            return false;
    }
    return true;
}

// One run of the whole demo at 160x90 and 10 fps, shared by the timeline cases.
const std::vector<LogRow>& WholeDemoLog() {
    static std::vector<LogRow> rows;
    static bool made = false;
    if (!made) {
        made = true;
        fs::create_directories(Work);
        // Until every scene is in, the demo cannot end: stop after scene 1.
        std::string to = AllScenesPresent() ? "" : " --to 100";
        if (Render("--size 160x90 --fps 10 --frame-log " + Work + "/whole.csv" + to) == 0)
            rows = ReadLog(Work + "/whole.csv");
    }
    return rows;
}

TEST(RenderE2E, SameOptionsGiveIdenticalFilesOfTheRightSize) {
    fs::create_directories(Work);
    const std::string a = Work + "/same-a", b = Work + "/same-b";
    fs::remove_all(a);
    fs::remove_all(b);
    // Across the end of the logo and into the first scene.
    const std::string range = "--size 160x90 --fps 10 --from 20 --to 25";
    ASSERT_EQ(Render(range + " --png " + a + " --wav " + a + ".wav"), 0);
    ASSERT_EQ(Render(range + " --png " + b + " --wav " + b + ".wav"), 0);
    int count = 0;
    for (const auto& entry : fs::directory_iterator(a)) {
        std::string name = entry.path().filename();
        EXPECT_EQ(ReadFile(entry.path()), ReadFile(b + "/" + name)) << name;
        Picture p;
        ASSERT_TRUE(ReadPngFile(entry.path(), &p)) << name;
        EXPECT_EQ(p.width, 160);
        EXPECT_EQ(p.height, 90);
        ++count;
    }
    EXPECT_EQ(count, 50);
    // The logo fading out is orange: red well above blue, unless channels are swapped.
    Picture logo;
    ASSERT_TRUE(ReadPngFile(a + "/frame000200.png", &logo));
    double red = 0, blue = 0;
    for (size_t i = 0; i < logo.rgb.size(); i += 3) {
        red += logo.rgb[i];
        blue += logo.rgb[i + 2];
    }
    EXPECT_GT(red, 1.5 * blue);
    EXPECT_TRUE(fs::exists(a + "/frame000200.png"));
    EXPECT_TRUE(fs::exists(a + "/frame000249.png"));
    std::string wav = ReadFile(a + ".wav");
    EXPECT_EQ(wav, ReadFile(b + ".wav"));
    EXPECT_EQ(wav.size(), 44u + 50u * 4410u * 4u);
}

// One damage a file over a copy of data/: each file is named once with what
// is wrong, and the demo plays the intro and loading through as without it.
TEST(RenderE2E, DamagedDataFilesAreNamedOnceAndTheShowGoesOn) {
    const std::string root = Work + "/damaged", data = root + "/data";
    fs::remove_all(root);
    fs::create_directories(root);
    fs::copy(DataRoot() + "/data", data);
    struct Damage {
        const char* file;
        const char* how;   // missing, empty, junk, folder, pipe, half, text
        const char* said;  // in the file's line
    };
    const Damage damages[] = {
        {"boxed.jpg", "empty", "empty"},
        {"font.jpg", "junk", "not a decodable JPEG"},
        {"dot.jpg", "folder", "a folder"},
        {"detail.jpg", "pipe", "a pipe"},
        {"flare.jpg", "missing", "No such file"},
        {"heightmaptex.jpg", "half", "Premature end"},
        {"heightmaptexnight.jpg", "half", "Premature end"},
        {"skystars.jpg", "half", "Premature end"},
        {"lightfx.jpg", "half", "Premature end"},
        {"glowmap.jpg", "half", "Premature end"},
        {"heightmap.jpg", "half", "Premature end"},
        {"logo.tga", "half", "cut short"},
        {"font.fnt", "text", "texts draw"},
        {"introeffectmx.mp3", "junk", "not a decodable MP3"},
        {"preview_kovi.mp3", "half", "s long, shorter than"},
    };
    for (const Damage& d : damages) {
        const std::string path = data + "/" + d.file, how = d.how;
        const std::string bytes = ReadFile(path);
        fs::remove(path);
        if (how == "empty" || how == "junk" || how == "half" || how == "text") {
            std::string junk(3000, 'G');
            std::ofstream(path, std::ios::binary)
                << (how == "half"   ? bytes.substr(0, bytes.size() / 2)
                    : how == "junk" ? junk
                    : how == "text" ? "chars count=2\nchar id=300 x=1\nhello\n"
                                    : "");
        } else if (how == "folder") {
            fs::create_directory(path);
        } else if (how == "pipe") {
            ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
        }
    }
    ASSERT_EQ(Render("--size 64x36 --fps 2 --to 24 --png " + root + "/png", root), 0)
        << ReadFile(Work + "/last-stderr.txt");
    const std::string said = ReadFile(Work + "/last-stderr.txt");
    for (const Damage& d : damages) {
        const std::string name = "data/" + std::string(d.file) + ": ";
        const size_t at = said.find(name);
        ASSERT_NE(at, std::string::npos) << d.file << " not named\n" << said;
        EXPECT_EQ(said.find(name, at + 1), std::string::npos) << d.file << " named twice";
        EXPECT_NE(said.substr(at, said.find('\n', at) - at).find(d.said), std::string::npos)
            << d.file << " not said to be " << d.said << "\n"
            << said;
    }
    int frames = 0;
    for (const auto& entry : fs::directory_iterator(root + "/png")) frames += entry.exists();
    EXPECT_EQ(frames, 48);
}

TEST(RenderE2E, FractionalRatesGetEveryAudioSample) {
    fs::create_directories(Work);
    const std::string wav = Work + "/ntsc.wav";
    ASSERT_EQ(Render("--size 64x36 --fps 30000/1001 --to 1 --wav " + wav), 0);
    // 30 frames of 1001/30000 s: 44144.13 samples, whole ones only.
    FrameRate rate{30000, 1001};
    EXPECT_EQ(fs::file_size(wav), 44u + SlotFirstSample(rate, 30) * 4u);
}

TEST(RenderE2E, IntroIsBlackThenShowsTheLogo) {
    const std::vector<LogRow>& rows = WholeDemoLog();
    ASSERT_FALSE(rows.empty()) << ReadFile(Work + "/last-stderr.txt");
    const LogRow* black = RowAt(rows, 2.0);
    const LogRow* logo = RowAt(rows, 16.0);
    ASSERT_TRUE(black && logo);
    EXPECT_EQ(black->phase, "intro");
    EXPECT_EQ(black->mean, 0.0);
    EXPECT_EQ(logo->phase, "intro");
    if (!fs::exists(DataRoot() + "/data/logo.tga"))
        GTEST_SKIP() << "no data/logo.tga to show";
    EXPECT_GT(logo->mean, 10.0);
}

TEST(RenderE2E, ScenesStartWhereTheTimelinePutsThem) {
    const std::vector<LogRow>& rows = WholeDemoLog();
    ASSERT_FALSE(rows.empty()) << ReadFile(Work + "/last-stderr.txt");
    double intro = -1;
    for (const LogRow& r : rows) {
        if (r.phase == "demo") {
            intro = r.time;
            break;
        }
    }
    // Black wait, fade-in, hold and fade-out, plus a few passes' rounding.
    ASSERT_NEAR(intro, 22.0, 0.5);
    std::string missing;
    for (int scene = 0; scene <= EndSceneIndex; ++scene) {
        if (scene < SceneCount && !SceneTable[scene]) {
            missing += " " + std::to_string(scene);
            continue;
        }
        double start = -1;
        for (const LogRow& r : rows) {
            if (r.phase == "demo" && r.scene == scene) {
                start = r.time;
                break;
            }
        }
        EXPECT_NEAR(start, intro + SceneStartSeconds[scene], 0.2) << "scene " << scene;
    }
    if (!missing.empty())
        GTEST_SKIP() << "scenes not written yet:" << missing;
}

TEST(RenderE2E, EndsAfterTheEndStep) {
    if (!AllScenesPresent())
        GTEST_SKIP() << "the demo cannot end until every scene is written";
    const std::vector<LogRow>& rows = WholeDemoLog();
    ASSERT_FALSE(rows.empty()) << ReadFile(Work + "/last-stderr.txt");
    double endStart = -1;
    for (const LogRow& r : rows) {
        if (r.scene == 5 && endStart < 0)
            endStart = r.time;
    }
    ASSERT_GT(endStart, 200.0);
    EXPECT_EQ(rows.back().scene, 5);
    EXPECT_NEAR(rows.back().time - endStart, EndStepSeconds, 0.25);
    EXPECT_LT(rows.back().mean, 1.0);  // the end step is black
}

// Loop on: after the end step the first scene comes again with the music
// from its start, and the output stops at --to; still identical run to run.
TEST(RenderE2E, LoopStartsTheDemoAgainIdentically) {
    if (!AllScenesPresent())
        GTEST_SKIP() << "the demo cannot loop until every scene is written";
    fs::create_directories(Work);
    const std::string a = Work + "/loop-a", b = Work + "/loop-b";
    fs::remove_all(a);
    fs::remove_all(b);
    const std::string range = "--size 64x36 --fps 2 --skip-intro --loop --from 205 --to 230";
    ASSERT_EQ(Render(range + " --png " + a + " --wav " + a + ".wav --frame-log " + a + ".csv"), 0)
        << ReadFile(Work + "/last-stderr.txt");
    ASSERT_EQ(Render(range + " --png " + b + " --wav " + b + ".wav"), 0);
    EXPECT_EQ(ExpectSameFiles(a, b), 50);
    EXPECT_EQ(ReadFile(a + ".wav"), ReadFile(b + ".wav"));
    std::vector<LogRow> rows = ReadLog(a + ".csv");
    ASSERT_EQ(rows.size(), 50u);
    EXPECT_DOUBLE_EQ(rows.back().time, 229.5);
    size_t again = 1;
    while (again < rows.size() && !(rows[again - 1].scene == 5 && rows[again].scene == 0)) ++again;
    ASSERT_LT(again, rows.size()) << "no loop back to the first scene";
    size_t endStep = 0;
    while (rows[endStep].scene != 5) ++endStep;
    EXPECT_NEAR(rows[again].time - rows[endStep].time, EndStepSeconds, 0.6);
    EXPECT_LT(rows[again].music, 0.6);
    EXPECT_NEAR(rows.back().music, rows.back().time - rows[again].time, 0.6);
}

// All a program prints on stdout.
std::string Output(const std::string& command) {
    FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    char buffer[65536];
    for (size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, n);
    if (pipe)
        pclose(pipe);
    return out;
}

std::string Probe(const std::string& file, const std::string& what) {
    std::string out = Output("ffprobe -v error " + what + " -of default=nw=1:nk=1 '" + file + "'");
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

TEST(RenderE2E, VideoHasTheFramesRateSizeAndSound) {
    if (std::system("ffmpeg -version > /dev/null 2>&1 && ffprobe -version > /dev/null 2>&1"))
        GTEST_SKIP() << "ffmpeg is not installed";
    fs::create_directories(Work);
    const std::string out = Work + "/clip.mp4";
    fs::remove(out);
    ASSERT_EQ(Render("--size 160x90 --fps 10 --from 21 --to 24 --out " + out), 0)
        << ReadFile(Work + "/last-stderr.txt");
    const std::string video = "-select_streams v:0 -count_frames -show_entries stream=";
    EXPECT_EQ(Probe(out, video + "nb_read_frames"), "30");
    EXPECT_EQ(Probe(out, video + "r_frame_rate"), "10/1");
    EXPECT_EQ(Probe(out, video + "width,height"), "160\n90");
    EXPECT_EQ(Probe(out, "-select_streams a:0 -show_entries stream=codec_type"), "audio");
    double duration = std::atof(Probe(out, "-show_entries format=duration").c_str());
    EXPECT_NEAR(duration, 3.0, 0.05);
}

// Frame n of a video as RGB bytes, converted as its tags say, accurately.
std::string DecodedFrame(const std::string& video, int n) {
    return Output("ffmpeg -v error -i '" + video + "' -vf 'select=eq(n\\," + std::to_string(n) +
                  "),scale=flags=accurate_rnd+full_chroma_int,format=rgb24' -vframes 1 "
                  "-f rawvideo -");
}

// A default capture says BT.709 and limited range, has chapters for the
// intro and the first scene, the title and the settings; a 4:4:4 one at crf
// 0 (only the colour conversion then differs) decodes to the PNG's colours
// of the orange logo within a fraction of a step, and a lossless one holds
// the PNG and WAV bytes exactly.
TEST(RenderE2E, CapturesCarryColourTagsChaptersAndSettings) {
    if (std::system("ffmpeg -version > /dev/null 2>&1 && ffprobe -version > /dev/null 2>&1"))
        GTEST_SKIP() << "ffmpeg is not installed";
    const std::string dir = Work + "/capture";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string range = "--size 160x90 --fps 10 --from 20 --to 24 ";
    ASSERT_EQ(Render(range + "--out " + dir + "/a.mp4"), 0) << ReadFile(Work + "/last-stderr.txt");
    ASSERT_EQ(Render(range + "--crf 0 --pix-fmt yuv444p --audio flac --out " + dir + "/b.mkv"), 0);
    ASSERT_EQ(Render(range + "--lossless --png " + dir + "/png --wav " + dir + "/c.wav --out " +
                     dir + "/c.mp4"),
              0);
    const std::string video = "-select_streams v:0 -show_entries stream=";
    EXPECT_EQ(
        Probe(dir + "/a.mp4", video + "color_range,color_space,color_transfer,color_primaries"),
        "tv\nbt709\nbt709\nbt709");
    EXPECT_EQ(Probe(dir + "/a.mp4", "-show_entries format_tags=title"), "Norvale");
    EXPECT_NE(Probe(dir + "/a.mp4", "-show_entries format_tags=comment").find("crf 18 veryfast"),
              std::string::npos);
    for (const std::string& file : {dir + "/a.mp4", dir + "/b.mkv"}) {
        const std::string chapters =
            Probe(file, "-show_entries chapter=start_time:chapter_tags=title");
        EXPECT_EQ(chapters, "0.000000\nIntro\n2.000000\nTerrain flight") << file;
    }
    EXPECT_EQ(Probe(dir + "/b.mkv", "-select_streams a:0 -show_entries stream=codec_name"), "flac");
    Picture png;
    ASSERT_TRUE(ReadPngFile(dir + "/png/frame000200.png", &png));
    const std::string pngBytes(png.rgb.begin(), png.rgb.end());
    const std::string frame = DecodedFrame(dir + "/b.mkv", 0);
    ASSERT_EQ(frame.size(), pngBytes.size());
    double error = 0;
    for (size_t i = 0; i < frame.size(); ++i)
        error += std::abs(static_cast<uint8_t>(frame[i]) - static_cast<uint8_t>(pngBytes[i]));
    EXPECT_LT(error / frame.size(), 0.75);  // 0.34 here; 1.0 with the BT.601 matrix
    EXPECT_TRUE(DecodedFrame(dir + "/c.mp4", 0) == pngBytes);
    EXPECT_TRUE(Output("ffmpeg -v error -i '" + dir + "/c.mp4' -f s16le -") ==
                ReadFile(dir + "/c.wav").substr(44));
}

TEST(RenderE2E, MissingFfmpegIsAClearError) {
    fs::create_directories(Work);
    std::string command = "cd '" + Work + "' && PATH=/nonexistent '" + Binary +
                          "/norvale-render' --to 1 --out x.mp4 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    char buffer[256];
    while (pipe && std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
    int status = pipe ? pclose(pipe) : -1;
    EXPECT_NE(status, 0);
    EXPECT_NE(out.find("needs ffmpeg"), std::string::npos) << out;
}

}  // namespace

namespace {

// A write that fails ends the run with status 1 and a message naming the
// file and the reason, also when only ffmpeg saw it (the trailer of the
// video no longer fits). A folder that is not there is refused before the
// first frame: nothing else is written.
TEST(RenderE2E, FailedWritesEndTheRunNamingTheFileAndWhy) {
    const std::string dir = Work + "/full";
    fs::remove_all(dir);
    fs::create_directories(dir);
    struct Case {
        std::string args;
        std::string file;  // named in the message
        std::string limitBlocks;
    };
    const std::string quick = "--size 64x36 --fps 10 --skip-intro --to 1 ";
    std::vector<Case> cases = {
        {quick + "--wav " + dir + "/a.wav", dir + "/a.wav", "40"},
        {quick + "--png " + dir + "/png", dir + "/png/frame000000.png", "0"},
        {quick + "--frame-log " + dir + "/f.csv", dir + "/f.csv", "0"},
        {quick + "--pass-log " + dir + "/p.tsv", dir + "/p.tsv", "0"},
        {quick + "--loop --loop-stats " + dir + "/l.csv", dir + "/l.csv", "0"}};
    if (std::system("ffmpeg -version > /dev/null 2>&1") == 0)
        cases.push_back({"--size 160x90 --fps 10 --skip-intro --to 5 --out " + dir + "/v.mp4",
                         dir + "/v.mp4", "40"});
    for (const Case& c : cases) {
        std::string printed;
        EXPECT_EQ(RenderLimited(c.args, c.limitBlocks, &printed), 1) << c.args << "\n" << printed;
        EXPECT_NE(printed.find("cannot write " + c.file), std::string::npos) << printed;
        EXPECT_NE(printed.find("File too large"), std::string::npos) << printed;
    }
    // The sound cut short still plays: its header counts what is in the file.
    const std::string wav = ReadFile(dir + "/a.wav");
    ASSERT_GT(wav.size(), 44u);
    uint32_t dataBytes = 0;
    for (int i = 3; i >= 0; --i) dataBytes = dataBytes << 8 | static_cast<uint8_t>(wav[40 + i]);
    EXPECT_EQ(dataBytes, (wav.size() - 44) / 4 * 4);
    std::string printed;
    EXPECT_EQ(RenderLimited("--to 1 --frame-log " + dir + "/early.csv --out " + dir +
                                "/none/v.mp4 --wav " + dir + "/none/a.wav",
                            "unlimited", &printed),
              1);
    EXPECT_NE(printed.find("cannot write " + dir + "/none/v.mp4"), std::string::npos) << printed;
    EXPECT_NE(printed.find("cannot write " + dir + "/none/a.wav"), std::string::npos) << printed;
    EXPECT_FALSE(fs::exists(dir + "/early.csv"));
    // Refused before the first frame: nothing to write, a range past the
    // end, one path twice; a place ffmpeg could not write to.
    for (const std::string& args : {std::string("--to 1"), "--from 300 --wav " + dir + "/late.wav",
                                    "--to 1 --out " + dir + "/x.mkv --wav " + dir + "/x.mkv"})
        EXPECT_EQ(RenderLimited(args, "unlimited", &printed), 2) << args;
    EXPECT_FALSE(fs::exists(dir + "/late.wav") || fs::exists(dir + "/x.mkv"));
    printed.clear();
    EXPECT_EQ(RenderLimited("--to 1 --out /proc/x.mp4", "unlimited", &printed), 1);
    EXPECT_NE(printed.find("cannot write /proc/x.mp4"), std::string::npos) << printed;
}

}  // namespace
