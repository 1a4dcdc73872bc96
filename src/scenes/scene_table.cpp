// The dispatcher's table of scenes, in timeline order.
#include "scenes/scenes.h"

SceneFunction SceneTable[5] = {RunScene0, RunScene1, nullptr, nullptr, RunScene4};
