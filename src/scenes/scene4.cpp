// Scene 4 (placeholder).
#include "scenes/scenes.h"

void RunScene4() {}
