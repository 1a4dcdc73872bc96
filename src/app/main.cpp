// Entry point of the demo: settings dialog, render window, main loop.
#include <SDL.h>

#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/dialog.h"
#include "setup/settings.h"
#include "setup/shell_files.h"
#include "app/window.h"
#include "frame/frame.h"
#include "platform/audio_pulse.h"
#include "platform/platform_sdl.h"
#include "resources/audio.h"
#include "resources/data_path.h"
#include "scenes/scenes.h"
#include "show/show.h"

namespace {
// The dialog toolkit's box wherever the dialog could be shown, else stderr.
// Not SDL's: with zenity installed SDL hands its boxes to zenity, whose keys
// differ and which prints its own complaint where there is no display.
MessageAnswer ShellMessageBox(const char* text, const char* caption, MessageButtons buttons,
                              MessageIcon icon) {
    MessageAnswer answer = MessageAnswerOk;
    if (ToolkitMessageBox(text, caption, buttons, icon, &answer)) {
        return answer;
    }
    return StderrMessageBox(text, caption, buttons, icon);
}

// Why the dialog could not be shown, in one line beside the box's fixed text.
void ExplainNoDisplay() {
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((x == nullptr || *x == '\0') && (wayland == nullptr || *wayland == '\0')) {
        std::fprintf(stderr, "norvale: no display: DISPLAY and WAYLAND_DISPLAY are unset\n");
        return;
    }
    std::string named = x != nullptr && *x != '\0' ? std::string("DISPLAY=") + x
                                                   : std::string("WAYLAND_DISPLAY=") + wayland;
    std::fprintf(stderr, "norvale: no display: the server at %s refused the connection\n",
                 named.c_str());
}

// The dialog's outcome; failed when there is no display to show it on.
DialogResult ShowSettingsDialog() {
    if (!StartDialogToolkit()) {
        ExplainNoDisplay();
        return DialogResultFailed;
    }
    int w = 0;
    int h = 0;
    if (ReadPrimaryScreenSize(&w, &h)) {
        DemoSettings.width = w;
        DemoSettings.height = h;
        DemoSettings.aspect = static_cast<float>(w) / static_cast<float>(h);
    }
    return RunSettingsDialog();
}

// With NORVALE_FRAME_TIMES naming a file, every frame a scene shows is
// written there as it reaches the screen: the wall-clock second after the
// swap, the scene, and the second of the soundtrack its counters stand for,
// so that what is seen can be set against what is heard.
FILE* OpenFrameTimes() {
    const char* path = std::getenv("NORVALE_FRAME_TIMES");
    if (path == nullptr || *path == '\0') {
        return nullptr;
    }
    FILE* file = std::fopen(path, "w");
    if (file == nullptr) {
        std::fprintf(stderr, "norvale: cannot write the frame times to %s\n", path);
        return nullptr;
    }
    setvbuf(file, nullptr, _IOLBF, 0);
    return file;
}

void WriteFrameTime(FILE* file) {
    if (file == nullptr || SceneIndex < 0 || SceneIndex >= SceneCount) {
        return;
    }
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    double music = (SceneBeat + SceneStartOffsets[SceneIndex]) * CounterUnitSeconds;
    std::fprintf(file, "%.4f %d %.4f\n", now.tv_sec + now.tv_nsec * 1e-9, SceneIndex, music);
}

// One event a pass; a frame only when the queue is empty and the window is
// not minimised. Returns the exit status.
int RunMainLoop() {
    FILE* frameTimes = OpenFrameTimes();
    EscapePressed = false;  // the intro does not look at Escape; a tap there is over
    while (!QuitRequested) {
        SDL_Event event;
        if (SDL_PollEvent(&event)) {
            if (event.type == SDL_QUIT) {
                QuitRequested = 1;
                return 0;  // the close request's quit code
            }
            WindowProc(event);
            continue;
        }
        if (!WindowActive) {
            EscapePressed = false;  // keys are examined only on passes that would draw
            continue;
        }
        const bool escape = KeyDown[VirtualKeyEscape] || EscapePressed;
        EscapePressed = false;
        if (escape) {
            QuitRequested = 1;
            break;
        }
        RenderFrame();
        PlatformPresent();
        WriteFrameTime(frameTimes);
        UpdateFrameClock();
        KeepCountersAheadOfScreen(FrameClock.delta);
        TellAudioOutputNews();
    }
    if (frameTimes != nullptr) {
        std::fclose(frameTimes);
    }
    return 0;
}
}  // namespace

int main() {
    UseSdlPlatform();
    UseSoundServerOutput();
    Platform.messageBox = ShellMessageBox;
    // Without a data folder the demo still plays, each missing file named.
    ChooseDataFolder("", "playing without it");
    DialogResult result = ShowSettingsDialog();
    if (result == DialogResultExit) {
        return 0;
    }
    if (result != DialogResultRun) {
        PlatformMessageBox("undefined", "Error", MessageButtonsOk, MessageIconWarning);
        return 100;
    }
    if (!OpenRenderWindow()) {
        return 0;
    }
    int status = RunMainLoop();
    AudioFree();
    CloseRenderWindow();
    return status;
}
