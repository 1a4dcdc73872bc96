// The five scenes of the timeline; DispatchScene calls SceneTable[SceneIndex].
#pragma once

typedef void (*SceneFunction)();
// Entries 0..4: the scenes; a null entry draws nothing.
extern SceneFunction SceneTable[5];

void RunScene0();
void RunScene1();
void RunScene2();
void RunScene3();
void RunScene4();
