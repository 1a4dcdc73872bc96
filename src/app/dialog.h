// The settings dialog that fills DemoSettings before the window opens.
#pragma once

#include "platform/platform.h"

enum DialogResult { DialogResultFailed = 0, DialogResultRun = 1, DialogResultExit = 2 };

// Starts the dialog toolkit; false when there is no display to show it on.
bool StartDialogToolkit();

// The primary screen's size in pixels; false when it cannot be read.
bool ReadPrimaryScreenSize(int* width, int* height);

// Shows the dialog modally, filled from DemoSettings, and returns how it
// ended. Every window of the toolkit is gone from the screen on return.
DialogResult RunSettingsDialog();

// A message box drawn by the dialog toolkit, for displays where SDL's own
// box cannot be shown (no core X fonts). False when the toolkit is not up.
bool ToolkitMessageBox(const char* text, const char* caption, MessageButtons buttons,
                       MessageIcon icon, MessageAnswer* answer);
