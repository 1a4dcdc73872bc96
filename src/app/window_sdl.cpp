// The SDL render window: display mode, GL context, events and gamma ramp.
#include <SDL.h>
#include <SDL_syswm.h>
#include <wayland-client.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "setup/render_state.h"
#include "setup/settings.h"
#include "setup/shell_files.h"
#include "setup/viewport.h"
#include "app/window.h"
#include "platform/platform.h"
#include "show/show.h"

SDL_Window* MainWindow = nullptr;
bool WindowActive = true;
bool KeyDown[256] = {};
bool EscapePressed = false;

namespace {
// Lives from OpenRenderWindow to CloseRenderWindow.
SDL_GLContext RenderContext = nullptr;
bool VideoStarted = false;     // SDL's video subsystem stands in for the window class
bool DisplayChanged = false;   // a full-screen mode is in force and must be undone on any exit
bool RampRefusalTold = false;  // a refused brightness ramp is said once a run

// SDL talks to a Wayland compositor itself (not through Xwayland).
bool OnWayland() {
    const char* driver = SDL_GetCurrentVideoDriver();
    return driver != nullptr && std::strcmp(driver, "wayland") == 0;
}

// Requests SDL sent on the window's behalf are answered before anything
// blocks the loop or destroys the window: on Wayland a raise asks for an
// activation token, and SDL uses the reply on the surface named in the
// request, dead or alive, whenever it next reads the connection.
void SettleWindowRequests() {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (MainWindow != nullptr && OnWayland() && SDL_GetWindowWMInfo(MainWindow, &info) &&
        info.subsystem == SDL_SYSWM_WAYLAND) {
        wl_display_roundtrip(info.info.wl.display);
    }
    SDL_PumpEvents();
}

void ShowOpenError(const char* text) {
    PlatformMessageBox(text, "ERROR", MessageButtonsOk, MessageIconWarning);
}

bool FailAfterWindow(const char* text) {
    CloseRenderWindow();
    ShowOpenError(text);
    return false;
}

// Desktop mode, cursor and ramp back as they were before full screen.
void RestoreDesktopDisplay() {
    if (!VideoStarted) {
        return;
    }
    if (MainWindow != nullptr) {
        SDL_SetWindowFullscreen(MainWindow, 0);
    }
    SDL_ShowCursor(SDL_ENABLE);
    if (DemoSettings.brightness != 0.0f) {
        ApplyBrightnessRamp(0.0f);
    }
    DisplayChanged = false;
}

// Nothing restores the desktop for us when a Linux process ends: Alt+F4, a
// quit during loading and a fatal image error all leave through exit().
void RestoreDisplayAtExit() {
    if (DisplayChanged) {
        RestoreDesktopDisplay();
        SDL_QuitSubSystem(SDL_INIT_VIDEO);  // closes the X connection, flushing the requests
    }
}

// Yes clears fullscreen and goes on windowed; No means the program closes.
bool AcceptWindowedMode() {
    if (PlatformMessageBox("The Requested Fullscreen Mode Is Not Supported By\nYour Video Card. "
                           "Use Windowed Mode Instead?",
                           "Mode Not Supported", MessageButtonsYesNo,
                           MessageIconWarning) != MessageAnswerYes) {
        return false;
    }
    DemoSettings.fullscreen = false;
    return true;
}

bool ShowClosingNotice() {
    PlatformMessageBox("Program Will Now Close.", "ERROR", MessageButtonsOk, MessageIconError);
    return false;
}

uint32_t PixelFormatForBits(int bits) {
    return bits == 16 ? SDL_PIXELFORMAT_RGB565 : SDL_PIXELFORMAT_RGB888;
}

// The display's own mode of exactly width x height, if it has one.
bool FindFullscreenMode(SDL_DisplayMode* mode) {
    SDL_DisplayMode want = {};
    want.w = DemoSettings.width;
    want.h = DemoSettings.height;
    want.format = PixelFormatForBits(DemoSettings.colorBits);
    return SDL_GetClosestDisplayMode(0, &want, mode) != nullptr && mode->w == want.w &&
           mode->h == want.h;
}

// SDL can report success and leave the size alone: trust only what is on
// screen. A Wayland compositor keeps its own mode and scales the window's
// picture to it, so there the picture's size is what counts.
bool FullscreenModeObtained() {
    if (OnWayland()) {
        int w = 0;
        int h = 0;
        SDL_GL_GetDrawableSize(MainWindow, &w, &h);
        return w == DemoSettings.width && h == DemoSettings.height;
    }
    SDL_DisplayMode now = {};
    int display = SDL_GetWindowDisplayIndex(MainWindow);
    return display >= 0 && SDL_GetCurrentDisplayMode(display, &now) == 0 &&
           now.w == DemoSettings.width && now.h == DemoSettings.height;
}

void RequestPixelFormat(int depthBits) {
    bool high = (DemoSettings.colorBits & 0xFF) > 16;
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, high ? 8 : 5);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, high ? 8 : 6);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, high ? 8 : 5);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, depthBits);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
}

// GLX treats depth as a minimum and fails outright where a Windows pixel
// format would offer less, so step down until a visual exists.
SDL_Window* CreateWindowWithDepth(uint32_t flags) {
    const int wanted = DemoSettings.zBuffer32 ? 32 : 16;
    for (int depth : {32, 24, 16}) {
        if (depth > wanted) {
            continue;
        }
        RequestPixelFormat(depth);
        SDL_Window* window = SDL_CreateWindow("Norvale", 0, 0, DemoSettings.width,
                                              DemoSettings.height, flags | SDL_WINDOW_OPENGL);
        if (window != nullptr) {
            return window;
        }
    }
    return nullptr;
}

// After the GL window failed: could a plain window have been made?
bool PlainWindowPossible(uint32_t flags) {
    SDL_Window* probe =
        SDL_CreateWindow("Norvale", 0, 0, DemoSettings.width, DemoSettings.height, flags);
    if (probe == nullptr) {
        return false;
    }
    SDL_DestroyWindow(probe);
    return true;
}

void SetWindowIcon() {
    SDL_Surface* icon = SDL_LoadBMP(FindShellFile("norvale.bmp").c_str());
    if (icon != nullptr) {
        SDL_SetWindowIcon(MainWindow, icon);
        SDL_FreeSurface(icon);
    }
}

// Full screen asked for: the display must offer the mode, or the user
// takes a window instead. False when the program must close.
bool ChooseDisplayMode(SDL_DisplayMode* mode) {
    if (!DemoSettings.fullscreen || FindFullscreenMode(mode) || AcceptWindowedMode()) {
        return true;
    }
    return ShowClosingNotice();
}

bool CreateWindowAndContext(const SDL_DisplayMode& mode) {
    uint32_t flags = SDL_WINDOW_HIDDEN;
    flags |= DemoSettings.fullscreen ? SDL_WINDOW_FULLSCREEN : SDL_WINDOW_RESIZABLE;
    MainWindow = CreateWindowWithDepth(flags);
    if (MainWindow == nullptr) {
        return FailAfterWindow(PlainWindowPossible(flags) ? "Can't Find A Suitable PixelFormat."
                                                          : "Window Creation Error.");
    }
    SetWindowIcon();
    if (DemoSettings.fullscreen) {
        SDL_SetWindowDisplayMode(MainWindow, &mode);
    }
    RenderContext = SDL_GL_CreateContext(MainWindow);
    if (RenderContext == nullptr) {
        return FailAfterWindow("Can't Create A GL Rendering Context.");
    }
    if (SDL_GL_MakeCurrent(MainWindow, RenderContext) != 0) {
        return FailAfterWindow("Can't Activate The GL Rendering Context.");
    }
    return true;
}

// Showing a full-screen window is what switches the mode; check it took.
bool ShowRenderWindow() {
    DisplayChanged = DemoSettings.fullscreen;
    SDL_ShowWindow(MainWindow);
    SDL_RaiseWindow(MainWindow);
    SDL_SetWindowInputFocus(MainWindow);
    SettleWindowRequests();
    if (!DemoSettings.fullscreen || FullscreenModeObtained()) {
        return true;
    }
    RestoreDesktopDisplay();
    if (!AcceptWindowedMode()) {
        CloseRenderWindow();
        return ShowClosingNotice();
    }
    SDL_SetWindowBordered(MainWindow, SDL_TRUE);
    SDL_SetWindowResizable(MainWindow, SDL_TRUE);
    SDL_SetWindowSize(MainWindow, DemoSettings.width, DemoSettings.height);
    SDL_SetWindowPosition(MainWindow, 0, 0);
    SettleWindowRequests();
    return true;
}

// The size the compositor or window manager actually gave the picture,
// which need not be the one asked for (a tiling layout, a scaled output).
void DrawableSize(int* w, int* h) {
    SDL_GL_GetDrawableSize(MainWindow, w, h);
}

// While the loading sequence runs, the size-change events wait for the main
// loop; the intro's frames follow the drawable meanwhile, keeping whatever
// projection the sequence has pushed.
void PumpWindowEvents() {
    SDL_PumpEvents();
    int w = 0;
    int h = 0;
    DrawableSize(&w, &h);
    if (w > 0 && h > 0 && (w != DemoSettings.width || h != DemoSettings.height)) {
        FollowDrawableSize(w, h);
    }
}

void RecordKey(SDL_Keycode keycode, bool down) {
    int vk = VirtualKeyFromKeycode(keycode);
    if (vk != 0) {
        KeyDown[vk] = down;
    }
    if (vk == VirtualKeyEscape && down) {
        EscapePressed = true;  // a tap between two frames is over before the next looks
    }
}

void HandleWindowEvent(const SDL_WindowEvent& event) {
    switch (event.event) {
        case SDL_WINDOWEVENT_MINIMIZED:
            WindowActive = false;
            break;
        case SDL_WINDOWEVENT_RESTORED:
        case SDL_WINDOWEVENT_MAXIMIZED:
        case SDL_WINDOWEVENT_FOCUS_GAINED:
        case SDL_WINDOWEVENT_FOCUS_LOST:
            // Only the minimised state stops drawing, not the loss of focus.
            WindowActive = (SDL_GetWindowFlags(MainWindow) & SDL_WINDOW_MINIMIZED) == 0;
            break;
        case SDL_WINDOWEVENT_SIZE_CHANGED: {
            int w = 0;
            int h = 0;
            DrawableSize(&w, &h);
            ResizeViewport(w, h);
            break;
        }
        default:
            // The close request needs nothing here: SDL queues SDL_QUIT itself
            // when its last window is asked to close.
            break;
    }
}

// The window's present for the platform seam; nothing to show once it is gone.
void SwapRenderWindow() {
    if (MainWindow != nullptr) {
        SDL_GL_SwapWindow(MainWindow);
    }
}

}  // namespace

int VirtualKeyFromKeycode(int32_t keycode) {
    if (keycode >= SDLK_a && keycode <= SDLK_z) {
        return 'A' + (keycode - SDLK_a);
    }
    if (keycode >= SDLK_0 && keycode <= SDLK_9) {
        return '0' + (keycode - SDLK_0);
    }
    if (keycode >= SDLK_F1 && keycode <= SDLK_F12) {
        return VirtualKeyF1 + (keycode - SDLK_F1);
    }
    switch (keycode) {
        case SDLK_ESCAPE:
            return VirtualKeyEscape;
        case SDLK_LALT:
        case SDLK_RALT:
            return VirtualKeyAlt;
        case SDLK_RETURN:
        case SDLK_KP_ENTER:
            return 0x0D;
        case SDLK_SPACE:
            return 0x20;
        case SDLK_BACKSPACE:
            return 0x08;
        case SDLK_TAB:
            return 0x09;
        case SDLK_LSHIFT:
        case SDLK_RSHIFT:
            return 0x10;
        case SDLK_LCTRL:
        case SDLK_RCTRL:
            return 0x11;
        case SDLK_LEFT:
            return 0x25;
        case SDLK_UP:
            return 0x26;
        case SDLK_RIGHT:
            return 0x27;
        case SDLK_DOWN:
            return 0x28;
        default:
            return 0;
    }
}

void WindowProc(const SDL_Event& event) {
    switch (event.type) {
        case SDL_WINDOWEVENT:
            HandleWindowEvent(event.window);
            break;
        case SDL_KEYDOWN:
            RecordKey(event.key.keysym.sym, true);
            if (KeyDown[VirtualKeyAlt] && KeyDown[VirtualKeyF4]) {
                std::exit(0);  // at once: no audio release, no window teardown
            }
            break;
        case SDL_KEYUP:
            RecordKey(event.key.keysym.sym, false);
            break;
        default:
            break;
    }
}

void ApplyBrightnessRamp(float b) {
    if (MainWindow == nullptr) {
        return;  // no screen to set it on
    }
    uint16_t ramp[256];
    BuildBrightnessRamp(b, ramp);
    // The picture is not brightened by other means; the user hears why once.
    if (SDL_SetWindowGammaRamp(MainWindow, ramp, ramp, ramp) != 0 && !RampRefusalTold) {
        RampRefusalTold = true;
        std::fprintf(stderr, "norvale: the display refused the brightness ramp (%s)\n",
                     SDL_GetError());
    }
}

bool OpenRenderWindow() {
    static bool exitHandlerInstalled = false;
    if (!exitHandlerInstalled) {
        exitHandlerInstalled = std::atexit(RestoreDisplayAtExit) == 0;
    }
    // SDL minimises a full-screen window that loses the focus; the demo goes
    // on drawing instead (only minimising by the user stops the frames).
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        ShowOpenError("Failed To Register The Window Class.");
        return false;
    }
    VideoStarted = true;
    SDL_DisplayMode mode = {};
    if (!ChooseDisplayMode(&mode)) {
        return false;
    }
    if (DemoSettings.fullscreen) {
        SDL_ShowCursor(SDL_DISABLE);
    }
    if (!CreateWindowAndContext(mode) || !ShowRenderWindow()) {
        return false;
    }
    Platform.present = SwapRenderWindow;
    Platform.pumpEvents = PumpWindowEvents;
    int w = 0;
    int h = 0;
    DrawableSize(&w, &h);
    ResizeViewport(w, h);
    if (!InitRenderState()) {
        return FailAfterWindow("Initialization Failed.");
    }
    if (DemoSettings.fullscreen && DemoSettings.brightness != 0.0f) {
        ApplyBrightnessRamp(DemoSettings.brightness);
    }
    return true;
}

void CloseRenderWindow() {
    if (DemoSettings.fullscreen) {
        RestoreDesktopDisplay();
    }
    if (RenderContext == nullptr) {
        return;  // window and video are released only once a context existed
    }
    if (SDL_GL_MakeCurrent(MainWindow, nullptr) != 0) {
        PlatformMessageBox("Release of DC and RC failed.", "Shutdown Error", MessageButtonsOk,
                           MessageIconInformation);
    }
    SDL_GL_DeleteContext(RenderContext);
    RenderContext = nullptr;
    if (MainWindow != nullptr) {
        SettleWindowRequests();
        SDL_DestroyWindow(MainWindow);
        MainWindow = nullptr;
    }
    if (VideoStarted) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        VideoStarted = false;
    }
}
