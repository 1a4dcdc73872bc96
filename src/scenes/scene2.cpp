// Scene 2 (placeholder).
#include "scenes/scenes.h"

void RunScene2() {}
