// Headless GL context on EGL (to be written).
#include "platform/headless.h"

bool CreateHeadlessContext(int, int) { return false; }
void DestroyHeadlessContext() {}
void PresentHeadless() {}
