// Default entries of the platform seam: a steady clock, no display, stderr.
#include "platform/platform.h"

#include <chrono>
#include <cstdio>

namespace {
const std::chrono::steady_clock::time_point StartTime = std::chrono::steady_clock::now();

void NoPresent() {}
bool NoQuitPending() {
    return false;
}
void NoPumpEvents() {}
uint32_t ManualClock() {
    return ManualClockMilliseconds;
}
}  // namespace

uint32_t ManualClockMilliseconds = 0;

uint32_t SteadyClockMilliseconds() {
    auto elapsed = std::chrono::steady_clock::now() - StartTime;
    return static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

MessageAnswer StderrMessageBox(const char* text, const char* caption, MessageButtons buttons,
                               MessageIcon) {
    std::fprintf(stderr, "%s: %s\n", caption, text);
    // Nobody can answer: a question takes its safe answer, which is No.
    return buttons == MessageButtonsYesNo ? MessageAnswerNo : MessageAnswerOk;
}

PlatformInterface Platform = {SteadyClockMilliseconds, NoPresent, NoQuitPending, NoPumpEvents,
                              StderrMessageBox};

void ResetPlatformDefaults() {
    Platform = PlatformInterface{SteadyClockMilliseconds, NoPresent, NoQuitPending, NoPumpEvents,
                                 StderrMessageBox};
}

void UseManualClock(uint32_t startMilliseconds) {
    ManualClockMilliseconds = startMilliseconds;
    Platform.elapsedMilliseconds = ManualClock;
}

uint32_t PlatformMilliseconds() {
    return Platform.elapsedMilliseconds();
}
void PlatformPresent() {
    Platform.present();
}
bool PlatformQuitPending() {
    return Platform.quitPending();
}
void PlatformPumpEvents() {
    Platform.pumpEvents();
}
MessageAnswer PlatformMessageBox(const char* text, const char* caption, MessageButtons buttons,
                                 MessageIcon icon) {
    return Platform.messageBox(text, caption, buttons, icon);
}
