// Scene 1 (placeholder).
#include "scenes/scenes.h"

void RunScene1() {}
