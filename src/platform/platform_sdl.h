// SDL entries of the platform seam: present, quit peek, event pump and
// message boxes. The clock stays the steady-clock default.
#pragma once

#include "platform/platform.h"

// Puts the SDL entries into Platform.
void UseSdlPlatform();

// The entries themselves, for shells that mix and match.
void SdlPresent();
bool SdlQuitPending();
void SdlPumpEvents();
// SDL's box; false (answer untouched) when SDL cannot show one here.
bool SdlTryMessageBox(const char* text, const char* caption, MessageButtons buttons,
                      MessageIcon icon, MessageAnswer* answer);
// SdlTryMessageBox, else stderr.
MessageAnswer SdlMessageBox(const char* text, const char* caption, MessageButtons buttons,
                            MessageIcon icon);
