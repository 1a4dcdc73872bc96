// TGA decoder (placeholder).
#include "resources/tga.h"

void LoadTgaImage(const char*, ImageRecord*) {}
bool DecodeTgaUncompressed(FILE*, ImageRecord*) { return false; }
bool DecodeTgaRle(FILE*, ImageRecord*) { return false; }
