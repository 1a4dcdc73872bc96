// The dispatcher's table of scenes, in timeline order.
#include "scenes/scenes.h"

SceneFunction SceneTable[SceneCount] = {RunScene0, RunScene1, RunScene2, RunScene3, RunScene4};
