// SDL entries of the platform seam: quit peek, event pump and message boxes.
// The clock stays the steady-clock default; the render window hands in its
// own present when it opens.
#pragma once

#include "platform/platform.h"

// Puts the SDL entries into Platform.
void UseSdlPlatform();

// The entries themselves, for shells that mix and match.
bool SdlQuitPending();
void SdlPumpEvents();
// SDL's box; false (answer untouched) when SDL cannot show one here.
bool SdlTryMessageBox(const char* text, const char* caption, MessageButtons buttons,
                      MessageIcon icon, MessageAnswer* answer);
// SdlTryMessageBox, else stderr.
MessageAnswer SdlMessageBox(const char* text, const char* caption, MessageButtons buttons,
                            MessageIcon icon);
