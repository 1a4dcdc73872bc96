// Height-map terrain meshes compiled into display lists.
#pragma once

void BuildTerrainList(int step, int slot);
