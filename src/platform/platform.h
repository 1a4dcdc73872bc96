// The seam between the engine and the shell that hosts it (window, renderer,
// tests). The engine calls only these; each shell fills in what it has.
#pragma once

#include <cstdint>

enum MessageButtons { MessageButtonsOk, MessageButtonsYesNo };
enum MessageIcon { MessageIconWarning, MessageIconError, MessageIconInformation };
enum MessageAnswer { MessageAnswerOk, MessageAnswerYes, MessageAnswerNo };

// Function table filled by the shell at start-up. Every entry has a default
// that works without any display (see platform.cpp), so the engine and its
// tests run with no shell at all.
struct PlatformInterface {
    // Elapsed wall-clock milliseconds since start (a steady clock, never
    // processor time). Tests and the headless renderer replace it.
    uint32_t (*elapsedMilliseconds)();
    // Shows the finished back buffer (swap in a window, read back headless).
    void (*present)();
    // True when a quit request is queued; looks without removing it.
    bool (*quitPending)();
    // Lets the window system process events without taking them off the
    // queue, so a busy loop never looks hung.
    void (*pumpEvents)();
    // A modal message box; stderr when none can be shown.
    MessageAnswer (*messageBox)(const char* text, const char* caption, MessageButtons buttons,
                                MessageIcon icon);
};

extern PlatformInterface Platform;

// Restores every default entry of Platform.
void ResetPlatformDefaults();

// Convenience wrappers over the table.
uint32_t PlatformMilliseconds();
void PlatformPresent();
bool PlatformQuitPending();
void PlatformPumpEvents();
MessageAnswer PlatformMessageBox(const char* text, const char* caption, MessageButtons buttons,
                                 MessageIcon icon);

// The defaults, usable by shells that replace only part of the table.
uint32_t SteadyClockMilliseconds();
MessageAnswer StderrMessageBox(const char* text, const char* caption, MessageButtons buttons,
                               MessageIcon icon);

// A clock driven by hand: after UseManualClock(), PlatformMilliseconds()
// returns ManualClockMilliseconds until it is changed.
extern uint32_t ManualClockMilliseconds;
void UseManualClock(uint32_t startMilliseconds);
