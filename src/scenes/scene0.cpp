// Scene 0 (placeholder).
#include "scenes/scenes.h"

void RunScene0() {}
