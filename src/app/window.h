// The render window: opening and closing it with its display mode and GL
// context, its event handling, and the brightness ramp on the screen.
#pragma once

#include <cstdint>

struct SDL_Window;
union SDL_Event;

extern SDL_Window* MainWindow;  // the render window, or null
extern bool WindowActive;       // frames are drawn only while set (cleared when minimised)
extern bool KeyDown[256];       // key state by Windows virtual-key code
// Set by every Escape press and kept until the main loop looks at it, so a
// tap shorter than a frame still ends the demo.
extern bool EscapePressed;

// Virtual-key codes the demo and its tests refer to.
constexpr int VirtualKeyEscape = 0x1B;
constexpr int VirtualKeyAlt = 0x12;
constexpr int VirtualKeyF1 = 0x70;
constexpr int VirtualKeyF4 = 0x73;

// Display mode, window, GL context, projection, render state and loading
// sequence. False after a failure that has already been shown to the user.
bool OpenRenderWindow();
// Restores the display and releases context and window; safe after a
// partial open. Failures are shown with caption "Shutdown Error".
void CloseRenderWindow();

// One window event: activation, keys (Alt+F4 ends the process with status
// 0), resize. The quit event itself is the main loop's business.
void WindowProc(const SDL_Event& event);

// The virtual-key code for an SDL key code, or 0 for keys the demo ignores.
int VirtualKeyFromKeycode(int32_t keycode);

// Linear gamma ramp for brightness b in [-1, 1] on the window's screen; a
// refused ramp is ignored.
void ApplyBrightnessRamp(float b);
