// The dialog's settings (placeholder until the dialog lands).
#include "app/settings.h"

DemoSettingsRecord DemoSettings;
