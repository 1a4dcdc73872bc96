// How window events reach the demo's key table and activity flag.
#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "app/window.h"

namespace {
SDL_Event KeyEvent(SDL_Keycode key, bool down) {
    SDL_Event event = {};
    event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    event.key.keysym.sym = key;
    return event;
}

SDL_Event WindowEvent(Uint8 what) {
    SDL_Event event = {};
    event.type = SDL_WINDOWEVENT;
    event.window.event = what;
    return event;
}

void ClearKeys() {
    std::fill(KeyDown, KeyDown + 256, false);
    EscapePressed = false;
}
}  // namespace

TEST(WindowKeys, VirtualKeyCodes) {
    EXPECT_EQ(VirtualKeyFromKeycode(SDLK_ESCAPE), 0x1B);
    EXPECT_EQ(VirtualKeyFromKeycode(SDLK_LALT), 0x12);
    EXPECT_EQ(VirtualKeyFromKeycode(SDLK_RALT), 0x12);
    EXPECT_EQ(VirtualKeyFromKeycode(SDLK_a), 'A');
    EXPECT_EQ(VirtualKeyFromKeycode(SDLK_z), 'Z');
    EXPECT_EQ(VirtualKeyFromKeycode(SDLK_0), '0');
    EXPECT_EQ(VirtualKeyFromKeycode(SDLK_9), '9');
    EXPECT_EQ(VirtualKeyFromKeycode(SDLK_RETURN), 0x0D);
    EXPECT_EQ(VirtualKeyFromKeycode(SDLK_SPACE), 0x20);
    EXPECT_EQ(VirtualKeyFromKeycode(SDLK_LEFT), 0x25);
    EXPECT_EQ(VirtualKeyFromKeycode(SDLK_UP), 0x26);
    EXPECT_EQ(VirtualKeyFromKeycode(SDLK_RIGHT), 0x27);
    EXPECT_EQ(VirtualKeyFromKeycode(SDLK_DOWN), 0x28);
    EXPECT_EQ(VirtualKeyFromKeycode(SDLK_VOLUMEUP), 0);
}

TEST(WindowKeys, FunctionKeysFollowF1) {
    const SDL_Keycode keys[12] = {SDLK_F1, SDLK_F2, SDLK_F3, SDLK_F4,  SDLK_F5,  SDLK_F6,
                                  SDLK_F7, SDLK_F8, SDLK_F9, SDLK_F10, SDLK_F11, SDLK_F12};
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(VirtualKeyFromKeycode(keys[i]), 0x70 + i);
    }
    EXPECT_EQ(VirtualKeyFromKeycode(SDLK_F4), VirtualKeyF4);
}

TEST(WindowKeys, DownAndUpFollowTheKey) {
    ClearKeys();
    WindowProc(KeyEvent(SDLK_ESCAPE, true));
    EXPECT_TRUE(KeyDown[VirtualKeyEscape]);
    WindowProc(KeyEvent(SDLK_SPACE, true));
    WindowProc(KeyEvent(SDLK_ESCAPE, false));
    EXPECT_FALSE(KeyDown[VirtualKeyEscape]);
    EXPECT_TRUE(EscapePressed);  // the tap is kept for the next frame
    EXPECT_TRUE(KeyDown[0x20]);
    ClearKeys();
}

TEST(WindowKeys, AltThenF4EndsTheProcessWithStatusZero) {
    EXPECT_EXIT(
        {
            ClearKeys();
            WindowProc(KeyEvent(SDLK_LALT, true));
            WindowProc(KeyEvent(SDLK_F4, true));
            std::exit(3);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(WindowKeys, F4AloneOrAfterAltReleaseDoesNotEnd) {
    // In a child process, so that a wrong exit(0) cannot pass for success.
    EXPECT_EXIT(
        {
            ClearKeys();
            WindowProc(KeyEvent(SDLK_F4, true));
            WindowProc(KeyEvent(SDLK_F4, false));
            WindowProc(KeyEvent(SDLK_LALT, true));
            WindowProc(KeyEvent(SDLK_LALT, false));
            WindowProc(KeyEvent(SDLK_F4, true));
            std::exit(KeyDown[VirtualKeyF4] ? 3 : 4);
        },
        ::testing::ExitedWithCode(3), "");
}

TEST(WindowActivity, OnlyMinimisingStopsDrawing) {
    WindowActive = true;
    WindowProc(WindowEvent(SDL_WINDOWEVENT_FOCUS_LOST));
    EXPECT_TRUE(WindowActive);
    WindowProc(WindowEvent(SDL_WINDOWEVENT_MINIMIZED));
    EXPECT_FALSE(WindowActive);
    WindowProc(WindowEvent(SDL_WINDOWEVENT_RESTORED));
    EXPECT_TRUE(WindowActive);
    // Nor may SDL minimise a full-screen window that loses the focus. The
    // hint is set before video starts, so a failing start still shows it.
    setenv("SDL_VIDEODRIVER", "no-such-driver", 1);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(OpenRenderWindow());
    testing::internal::GetCapturedStderr();
    unsetenv("SDL_VIDEODRIVER");
    EXPECT_FALSE(SDL_GetHintBoolean(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, SDL_TRUE));
}
