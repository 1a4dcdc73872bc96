// The TGA decoder for the intro logo (types 2 and 10, 24 and 32 bits).
#pragma once

#include <cstdio>

#include "resources/images.h"

void LoadTgaImage(const char* path, ImageRecord* record);
bool DecodeTgaUncompressed(FILE* file, ImageRecord* record);
bool DecodeTgaRle(FILE* file, ImageRecord* record);
