// Bitmap font (placeholder).
#include "resources/font.h"

BitmapFontRecord BitmapFont;
GlyphQuad* TextLayoutQuads = nullptr;
int32_t TextLayoutCount = 0;

bool LoadFontDescriptor() { return true; }
bool LoadFontDescriptorFrom(const char*) { return true; }
bool LayoutText(BitmapFontRecord*, const char*) { return false; }
void DrawFontText(const char*) {}
