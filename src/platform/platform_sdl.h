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
MessageAnswer SdlMessageBox(const char* text, const char* caption, MessageButtons buttons,
                            MessageIcon icon);
