// Scene 3 (placeholder).
#include "scenes/scenes.h"

void RunScene3() {}
