// The TGA decoder for the intro logo (types 2 and 10, 24 and 32 bits).
#pragma once

#include <cstdio>

#include "resources/images.h"

// Decodes the file at path into a zeroed record; a missing file or another
// image type leaves the record as it was. Rows stay in file order.
void LoadTgaImage(const char* path, ImageRecord* record);
// The same from an open stream positioned at the header's first byte; the
// stream is always closed. Returns the decoder's result (false for other types).
bool LoadTgaStream(FILE* file, ImageRecord* record);
// Both take the file after its first 12 header bytes and close it.
bool DecodeTgaUncompressed(FILE* file, ImageRecord* record);
bool DecodeTgaRle(FILE* file, ImageRecord* record);
