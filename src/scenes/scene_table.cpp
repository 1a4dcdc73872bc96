// The dispatcher's table of scenes, in timeline order.
#include "scenes/scenes.h"

SceneFunction SceneTable[5] = {nullptr, nullptr, nullptr, nullptr, nullptr};
