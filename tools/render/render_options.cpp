// Command line of norvale-render: parsing and the help text.
#include "render_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <string>

namespace {

// A whole positive number that fills [text, end) exactly.
bool ParsePositive(const char* text, const char* end, long long limit, long long* value) {
    if (text == end || *text < '0' || *text > '9')
        return false;
    errno = 0;
    char* stop = nullptr;
    long long v = std::strtoll(text, &stop, 10);
    if (errno != 0 || stop != end || v <= 0 || v > limit)
        return false;
    *value = v;
    return true;
}

// Two positive numbers around one separator.
bool ParsePair(const char* text, char separator, long long limit, long long* a, long long* b) {
    const char* sep = std::strchr(text, separator);
    if (!sep)
        return false;
    return ParsePositive(text, sep, limit, a) &&
           ParsePositive(sep + 1, sep + std::strlen(sep), limit, b);
}

bool ParseSeconds(const char* text, double* seconds) {
    char* stop = nullptr;
    double v = std::strtod(text, &stop);
    if (stop == text || *stop != '\0' || !std::isfinite(v) || v < 0.0)
        return false;
    *seconds = v;
    return true;
}

// The dialog's brightness range, [-1, 1].
bool ParseBrightness(const char* text, float* brightness) {
    char* stop = nullptr;
    double v = std::strtod(text, &stop);
    if (stop == text || *stop != '\0' || !(v >= -1.0 && v <= 1.0))
        return false;
    *brightness = static_cast<float>(v);
    return true;
}

bool ParseDepthBits(const char* text, int* bits) {
    for (int allowed : {16, 24, 32}) {
        if (std::strcmp(text, std::to_string(allowed).c_str()) == 0) {
            *bits = allowed;
            return true;
        }
    }
    return false;
}

bool HasSuffix(const std::string& text, const char* suffix) {
    size_t n = std::strlen(suffix);
    return text.size() > n && text.compare(text.size() - n, n, suffix) == 0;
}

// The option's value; the next argument must exist.
const char* Value(int argc, char** argv, int* i) {
    return *i + 1 < argc ? argv[++*i] : nullptr;
}

bool ParseValueOption(const std::string& name, const char* value, RenderOptions* o) {
    if (name == "--size")
        return ParseSize(value, &o->width, &o->height);
    if (name == "--aspect")
        return ParseAspect(value, &o->aspectNum, &o->aspectDen);
    if (name == "--fps")
        return ParseFrameRate(value, &o->rate);
    if (name == "--from")
        return ParseSeconds(value, &o->fromSeconds);
    if (name == "--to")
        return ParseSeconds(value, &o->toSeconds);
    if (name == "--brightness")
        return ParseBrightness(value, &o->brightness);
    if (name == "--depth-bits")
        return ParseDepthBits(value, &o->depthBits);
    std::string* paths[] = {&o->outPath,     &o->pngDir,        &o->wavPath, &o->frameLogPath,
                            &o->passLogPath, &o->loopStatsPath, &o->dataDir};
    const char* names[] = {"--out",      "--png",        "--wav", "--frame-log",
                           "--pass-log", "--loop-stats", "--data"};
    for (size_t k = 0; k < sizeof names / sizeof names[0]; ++k) {
        if (name == names[k]) {
            *paths[k] = value;
            return !paths[k]->empty();
        }
    }
    return false;
}

bool ParseFlag(const std::string& name, RenderOptions* o) {
    bool* flags[] = {&o->demoPlus, &o->skipIntro, &o->loop, &o->lossless,
                     &o->glInfo,   &o->plainDraw, &o->help, &o->help};
    const char* names[] = {"--demo-plus", "--skip-intro", "--loop", "--lossless",
                           "--gl-info",   "--plain-draw", "--help", "-h"};
    for (size_t k = 0; k < sizeof names / sizeof names[0]; ++k) {
        if (name == names[k]) {
            *flags[k] = true;
            return true;
        }
    }
    return false;
}

bool CheckCombination(const RenderOptions& o, std::string* error) {
    if (o.loop && o.toSeconds < 0.0) {
        *error = "--loop needs --to: a looping demo never ends by itself";
        return false;
    }
    if (o.toSeconds >= 0.0 && o.toSeconds <= o.fromSeconds) {
        *error = "--to must be later than --from";
        return false;
    }
    if (!o.outPath.empty() && !HasSuffix(o.outPath, ".mp4") && !HasSuffix(o.outPath, ".mkv")) {
        *error = "--out needs a file name ending in .mp4 or .mkv";
        return false;
    }
    if (!o.outPath.empty() && !o.lossless && (o.width % 2 || o.height % 2)) {
        *error = "--out needs an even width and height (H.264 with 4:2:0 colour)";
        return false;
    }
    return true;
}

}  // namespace

bool ParseSize(const char* text, int* width, int* height) {
    long long w = 0, h = 0;
    if (!ParsePair(text, 'x', 16384, &w, &h))
        return false;
    *width = static_cast<int>(w);
    *height = static_cast<int>(h);
    return true;
}

bool ParseAspect(const char* text, int* num, int* den) {
    long long n = 0, d = 0;
    if (!ParsePair(text, ':', 1000000, &n, &d))
        return false;
    *num = static_cast<int>(n);
    *den = static_cast<int>(d);
    return true;
}

bool ParseFrameRate(const char* text, FrameRate* rate) {
    long long n = 0, d = 1;
    bool ok = std::strchr(text, '/') ? ParsePair(text, '/', 1000000, &n, &d)
                                     : ParsePositive(text, text + std::strlen(text), 1000, &n);
    if (!ok || n > 1000 * d)
        return false;  // above 1000 frames per second the millisecond clock stands still
    long long g = std::gcd(n, d);
    rate->num = n / g;
    rate->den = d / g;
    return true;
}

bool ParseRenderOptions(int argc, char** argv, RenderOptions* options, std::string* error) {
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        if (ParseFlag(name, options))
            continue;
        if (name.rfind("--", 0) != 0) {
            *error = "unexpected argument '" + name + "'";
            return false;
        }
        const char* value = Value(argc, argv, &i);
        if (!value) {
            *error = name + " needs a value";
            return false;
        }
        if (!ParseValueOption(name, value, options)) {
            *error = "bad option " + name + " " + value;
            return false;
        }
    }
    return options->help || CheckCombination(*options, error);
}

const char* RenderUsage() {
    return "usage: norvale-render [options]\n"
           "Renders the demo headless, frame-exact, with its soundtrack.\n"
           "\n"
           "  --data DIR          the data folder to read (default: data/ in the\n"
           "                      working directory, else the one beside the program:\n"
           "                      share/norvale/data when installed, the source\n"
           "                      tree's data/ from the build folder)\n"
           "  --size WxH          picture size in pixels (default 1280x720)\n"
           "  --aspect N:D        projection aspect ratio (default: the size's shape)\n"
           "  --fps N | N/D       output frame rate (default 60; 60000/1001 works)\n"
           "  --from SECONDS      first output time written (default 0)\n"
           "  --to SECONDS        output time to stop at (default: when the demo ends)\n"
           "  --brightness B      -1 to 1 (default 0): the brightness the full-screen\n"
           "                      demo sets through the display's gamma ramp, applied\n"
           "                      to the captured pixels with the same tables;\n"
           "                      0 leaves them exactly as drawn\n"
           "  --demo-plus         the Demo++ switch\n"
           "  --depth-bits 16|24|32  depth buffer of at least this many bits\n"
           "                      (default 24); 16 is what the demo asks for with\n"
           "                      \"32-bit Z\" off\n"
           "  --plain-draw        draw every terrain mesh through its display list,\n"
           "                      without culling: slower, and the picture must\n"
           "                      be the same as without it\n"
           "  --skip-intro        start at the first scene, without the logo sequence\n"
           "  --loop              the Loop switch: after the end step the demo starts\n"
           "                      again from the first scene (needs --to)\n"
           "  --out FILE.mp4|.mkv video with sound through ffmpeg (H.264 + AAC)\n"
           "  --lossless          with --out: lossless video and audio\n"
           "  --png DIR           numbered PNG frames (DIR/frame000000.png ...)\n"
           "  --wav FILE          the mixed soundtrack, 44100 Hz stereo 16-bit\n"
           "  --frame-log FILE    one CSV row per frame: time, scene, section, beats,\n"
           "                      music seconds, render milliseconds, phase, mean level\n"
           "  --pass-log FILE     median milliseconds of each step of a frame per scene,\n"
           "                      the GL pipeline drained between steps (slows the run)\n"
           "  --loop-stats FILE   one CSV row at the start of every loop: resident\n"
           "                      memory, open files, live GL textures and lists,\n"
           "                      memory malloc has handed out\n"
           "  --gl-info           print the GL renderer and version, then end\n"
           "  --help              this text\n"
           "\n"
           "Output time 0 is the moment Run is pressed: 5 s of black, the logo, then\n"
           "the scenes. Frame n shows the picture of time n / fps. Two runs with the\n"
           "same options write identical PNG and WAV files.\n";
}
