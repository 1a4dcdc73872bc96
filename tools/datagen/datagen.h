// Shared pieces of the data generator: pictures in memory, file writers,
// periodic noise and the picture generators.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// An 8-bit RGB picture, rows top first.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
};

// A one-channel float field, rows top first; indices wrap when read with FieldAt.
struct Field {
    int width = 0;
    int height = 0;
    std::vector<float> v;
};

struct Colour {
    float r, g, b;
};

Picture MakePicture(int width, int height);
Field MakeField(int width, int height);
float FieldAt(const Field& f, int x, int y);
float FieldBilinear(const Field& f, float x, float y);
// Box blur with wrapped reads, one axis at a time.
Field BoxBlur(const Field& f, int radius);
void PutPixel(Picture& p, int x, int y, Colour c);  // c in 0..1, clamped
Colour GetPixel(const Picture& p, int x, int y);

bool WriteJpeg(const std::string& path, const Picture& p, int quality);
// 24-bit run-length TGA (type 10), first row on top.
bool WriteTgaRle(const std::string& path, const Picture& p);
std::vector<uint8_t> EncodeTgaRle(const Picture& p);

// Deterministic hashing and noise. Periodic noise repeats every `period`
// lattice cells in both directions, so pictures built from it tile.
uint32_t Hash3(uint32_t a, uint32_t b, uint32_t c);
float HashUnit(uint32_t a, uint32_t b, uint32_t c);                // 0..1
float PeriodicNoise(float x, float y, int period, uint32_t seed);  // about -1..1
float PeriodicFbm(float x, float y, int period, int octaves, float gain, uint32_t seed);
float PeriodicRidged(float x, float y, int period, int octaves, uint32_t seed);

float Clamp01(float v);
float SmoothStep(float e0, float e1, float x);
float Mix(float a, float b, float t);
Colour MixColour(Colour a, Colour b, float t);

// Picture generators, each writes one file; false when it cannot be written.
Field MakeHeightField();
bool WriteHeightMap(const std::string& path, const Field& height);
// The day and the night colours of the terrain, 1024 x 1024 each.
bool WriteTerrainTextures(const std::string& dayPath, const std::string& nightPath,
                          const Field& height);
bool WriteDetail(const std::string& path);
bool WriteSkyStars(const std::string& path);
bool WriteFlare(const std::string& path);
bool WriteDot(const std::string& path);
bool WriteLightFx(const std::string& path);
bool WriteGlowMap(const std::string& path);
bool WriteBoxed(const std::string& path);
bool WriteFont(const std::string& jpegPath, const std::string& fntPath);
bool WriteLogo(const std::string& path);

// The font atlas is narrow (fonts-dejavu-extra) so the greetings fit their
// rows; the logo's letters are the wide bold face (fonts-dejavu-core).
const char* const AtlasFontFile = "/usr/share/fonts/truetype/dejavu/DejaVuSansCondensed-Bold.ttf";
const char* const LogoFontFile = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";

// FreeType's face record (FT_Face points to one).
struct FT_FaceRec_;
// Opens the font file at this pixel size, hands the face to use and closes
// everything again; false when FreeType or use fails.
bool WithFontFace(const char* file, int pixelSize, const std::function<bool(FT_FaceRec_*)>& use);
