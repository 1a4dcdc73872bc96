// Command line of norvale-render: parsing and the help text.
#include "render_options.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <cstring>
#include <initializer_list>
#include <numeric>
#include <set>
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

// The option's value; the next argument must exist.
const char* Value(int argc, char** argv, int* i) {
    return *i + 1 < argc ? argv[++*i] : nullptr;
}

bool ParseChoice(const char* text, std::initializer_list<const char*> choices, std::string* out) {
    for (const char* choice : choices) {
        if (std::strcmp(text, choice) == 0) {
            *out = choice;
            return true;
        }
    }
    return false;
}

bool ParseCrf(const char* text, int* crf) {
    long long v = 0;
    if (std::strcmp(text, "0") == 0) {
        *crf = 0;
        return true;
    }
    if (!ParsePositive(text, text + std::strlen(text), 51, &v))
        return false;
    *crf = static_cast<int>(v);
    return true;
}

// Each value option, how its value is read and what it accepts, for the
// message when the value is refused.
struct ValueOption {
    const char* name;
    const char* accepts;
};
const ValueOption ValueOptions[] = {
    {"--size", "WxH, each side 1 to 16384 pixels"},
    {"--aspect", "N:D, each part 1 to 1000000"},
    {"--fps", "N or N/D, above 0 and at most 1000 frames per second"},
    {"--from", "seconds, 0 or more"},
    {"--to", "seconds, 0 or more"},
    {"--brightness", "a number from -1 to 1"},
    {"--depth-bits", "16, 24 or 32"},
    {"--crf", "a whole number from 0 (lossless) to 51"},
    {"--preset", "ultrafast, superfast, veryfast, faster, fast, medium, slow, slower or veryslow"},
    {"--pix-fmt", "yuv420p, yuv444p or yuv420p10le"},
    {"--audio", "aac or flac"},
};

// The output files, in the order they are listed in messages.
struct OutputOption {
    const char* name;
    std::string RenderOptions::*path;
};
const OutputOption OutputOptions[] = {
    {"--out", &RenderOptions::outPath},          {"--png", &RenderOptions::pngDir},
    {"--wav", &RenderOptions::wavPath},          {"--frame-log", &RenderOptions::frameLogPath},
    {"--pass-log", &RenderOptions::passLogPath}, {"--loop-stats", &RenderOptions::loopStatsPath},
};

bool ParseSettingValue(const std::string& name, const char* value, RenderOptions* o) {
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
    if (name == "--crf")
        return ParseCrf(value, &o->crf);
    if (name == "--preset")
        return ParseChoice(value,
                           {"ultrafast", "superfast", "veryfast", "faster", "fast", "medium",
                            "slow", "slower", "veryslow"},
                           &o->preset);
    if (name == "--pix-fmt")
        return ParseChoice(value, {"yuv420p", "yuv444p", "yuv420p10le"}, &o->pixFmt);
    return ParseChoice(value, {"aac", "flac"}, &o->audioCodec);
}

// False with the reason; `given` holds the output options seen so far.
bool ParseValueOption(const std::string& name, const char* value, RenderOptions* o,
                      std::set<std::string>* given, std::string* error) {
    for (const OutputOption& out : OutputOptions) {
        if (name != out.name)
            continue;
        if (!given->insert(name).second) {
            *error = name + " given twice: each output is written once, to one path";
            return false;
        }
        o->*out.path = value;
        *error = name + " needs a path";
        return *value != '\0';
    }
    if (name == "--data") {
        o->dataDir = value;
        *error = "--data needs a folder";
        return *value != '\0';
    }
    for (const ValueOption& option : ValueOptions) {
        if (name == option.name) {
            *error = name + " takes " + option.accepts + ", not '" + value + "'";
            return ParseSettingValue(name, value, o);
        }
    }
    *error = "unknown option " + name;
    return false;
}

bool ParseFlag(const std::string& name, RenderOptions* o) {
    bool* flags[] = {&o->demoPlus,  &o->skipIntro,  &o->loop, &o->lossless, &o->glInfo,
                     &o->plainDraw, &o->nullOutput, &o->help, &o->help};
    const char* names[] = {"--demo-plus",  "--skip-intro", "--loop", "--lossless", "--gl-info",
                           "--plain-draw", "--null",       "--help", "-h"};
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
    if (!o.outPath.empty() && !o.lossless && o.pixFmt != "yuv444p" &&
        (o.width % 2 || o.height % 2)) {
        *error = "--out needs an even width and height for 4:2:0 colour (or --pix-fmt yuv444p)";
        return false;
    }
    if (o.lossless && (o.crf >= 0 || o.pixFmt != "yuv420p")) {
        *error = "--lossless keeps every RGB byte: --crf and --pix-fmt do not apply";
        return false;
    }
    return true;
}

// Where a path points, for comparing two of them.
std::filesystem::path Resolved(const std::string& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path).lexically_normal();
    std::filesystem::path full = std::filesystem::weakly_canonical(absolute, error);
    return error ? absolute : full;
}

bool IsInside(const std::filesystem::path& file, const std::filesystem::path& folder) {
    std::filesystem::path rest = file.lexically_relative(folder);
    return !rest.empty() && *rest.begin() != ".." && rest != ".";
}

// Two outputs on one path, or a file among the PNG frames.
bool CheckOutputCollisions(const RenderOptions& o, std::string* error) {
    const OutputOption* png = &OutputOptions[1];
    for (const OutputOption& a : OutputOptions) {
        for (const OutputOption& b : OutputOptions) {
            if (&a >= &b || (o.*a.path).empty() || (o.*b.path).empty())
                continue;
            const std::filesystem::path pa = Resolved(o.*a.path), pb = Resolved(o.*b.path);
            if (pa == pb) {
                *error = std::string(a.name) + " and " + b.name + " both name " + o.*a.path +
                         ": each output needs a path of its own";
                return false;
            }
            if (&a == png && IsInside(pb, pa)) {
                *error = std::string(b.name) + " " + o.*b.path + " is inside the --png folder " +
                         o.pngDir + ": the folder holds frames only, give it another place";
                return false;
            }
        }
    }
    return true;
}

}  // namespace

bool CheckRenderPlan(const RenderOptions& o, std::string* error) {
    bool anyOutput = false;
    for (const OutputOption& out : OutputOptions) anyOutput = anyOutput || !(o.*out.path).empty();
    if (!anyOutput && !o.nullOutput) {
        *error =
            "nothing to write: give --out, --png, --wav or --frame-log (or --pass-log, "
            "--loop-stats), or --null to render for timing only";
        return false;
    }
    if (anyOutput && o.nullOutput) {
        *error = "--null writes nothing: leave it out when an output is given";
        return false;
    }
    const double end = (o.skipIntro ? 0.0 : IntroSecondsEstimate) + DemoSecondsEstimate;
    if (!o.loop && o.fromSeconds >= end) {
        char text[200];
        std::snprintf(text, sizeof text,
                      "--from %g is past the end of the demo, which ends at about %.1f s%s: "
                      "nothing would be written",
                      o.fromSeconds, end, o.skipIntro ? " with --skip-intro" : "");
        *error = text;
        return false;
    }
    return CheckOutputCollisions(o, error);
}

bool HasSuffix(const std::string& text, const char* suffix) {
    size_t n = std::strlen(suffix);
    return text.size() > n && text.compare(text.size() - n, n, suffix) == 0;
}

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

// One argument at *i (with its value, which may follow an '=').
static bool ParseArgument(int argc, char** argv, int* i, RenderOptions* o,
                          std::set<std::string>* given, std::string* error) {
    std::string name = argv[*i];
    const size_t equals = name.find('=');
    const bool joined = name.rfind("--", 0) == 0 && equals != std::string::npos;
    std::string joinedValue = joined ? name.substr(equals + 1) : std::string();
    if (joined)
        name.erase(equals);
    if (ParseFlag(name, o)) {
        if (joined)
            *error = name + " takes no value";
        return !joined;
    }
    if (name.rfind("--", 0) != 0) {
        *error = "unexpected argument '" + name + "'";
        return false;
    }
    const char* value = joined ? joinedValue.c_str() : Value(argc, argv, i);
    if (!value) {
        *error = name + " needs a value";
        return false;
    }
    return ParseValueOption(name, value, o, given, error);
}

bool ParseRenderOptions(int argc, char** argv, RenderOptions* options, std::string* error) {
    std::set<std::string> given;
    for (int i = 1; i < argc; ++i) {
        if (!ParseArgument(argc, argv, &i, options, &given, error))
            return false;
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
           "  --out FILE.mp4|.mkv video with sound through ffmpeg: H.264 in BT.709,\n"
           "                      limited range, with AAC; chapters at the intro and\n"
           "                      each scene, the title and these settings in it\n"
           "  --crf N             with --out: H.264 quality, 0 (lossless) to 51\n"
           "                      (default 18)\n"
           "  --preset P          with --out: x264 preset, ultrafast to veryslow\n"
           "                      (default veryfast)\n"
           "  --pix-fmt F         with --out: yuv420p (default), yuv444p or\n"
           "                      yuv420p10le\n"
           "  --audio aac|flac    with --out: the sound's codec (default aac)\n"
           "  --lossless          with --out: lossless video (RGB) and audio\n"
           "  --null              render for timing only, writing nothing\n"
           "  --png DIR           numbered PNG frames (DIR/frame000000.png ...);\n"
           "                      frames of an earlier run from --from on are removed\n"
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
           "same options write identical PNG and WAV files. Every option also takes\n"
           "its value as --option=value. Nothing is drawn when there is nothing to\n"
           "write, the range lies past the demo's end or two outputs share a path.\n";
}
