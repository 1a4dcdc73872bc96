// JPEG loading and the texture table (placeholder).
#include "resources/images.h"

unsigned int TextureTable[64];

bool LoadJpegImage(const char*, ImageRecord*) { return false; }
int LoadTextureTable() { return 1; }
