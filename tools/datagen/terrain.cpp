// The height map and the pictures made from it: day and night colours and
// the grey detail noise. Everything tiles: noise is periodic and every
// neighbourhood read wraps.
#include <algorithm>
#include <array>
#include <cmath>

#include "datagen.h"
#include "scenes/camera_paths.h"

namespace {

const int MapSize = 256;
const float GroupRadius = 3.5f;  // the spinning cube's reach, swelling included

// A straight stretch the height map keeps clear, in world units: a camera's
// glide, or the line from a camera to what it looks at. The ground beside it
// lies `drop` below it on a flat band, then rises ever more steeply. Terrain
// tiles put height-map pixel (128 + 8x, 128 + 8z) under world point (x, z),
// wrapping every 256 pixels; a height-map level is 1/32 of a world unit.
struct ClearLine {
    float from[3], to[3];
    float nearWidth, farWidth;  // half widths of the band at both ends
    float drop, rise;           // rise: slope where the band ends
    bool glide;                 // a camera flies along it: the valleys follow
};

// A glide keeps a wide, low floor, so no slope comes close; a sight line only
// needs a notch as wide as what it looks at.
ClearLine Glide(const float* from, const float* to) {
    return {{from[0], from[1], from[2]}, {to[0], to[1], to[2]}, 3.0f, 3.0f, 1.0f, 0.7f, true};
}

ClearLine SightLine(const float* from, const float* to) {
    return {
        {from[0], from[1], from[2]}, {to[0], to[1], to[2]}, 1.5f, GroupRadius, 0.5f, 0.9f, false};
}

// Every camera glide, and from points along scene 3's moves the sight line
// to the lower edge of the group it watches. Scene 0's orbit circles outside
// the single tile that scene draws, so it needs nothing.
std::vector<ClearLine> ClearLines() {
    std::vector<ClearLine> lines;
    for (const auto& glide : OpeningGlides) lines.push_back(Glide(glide[0], glide[1]));
    for (const CameraMove& m : NightfallMoves) lines.push_back(Glide(m.fromPosition, m.toPosition));
    for (const CameraMove& m : NightMoves) {
        lines.push_back(Glide(m.fromPosition, m.toPosition));
        for (int i = 0; i <= 8; ++i) {
            float t = i / 8.0f, camera[3], group[3];
            for (int c = 0; c < 3; ++c) {
                camera[c] = Mix(m.fromPosition[c], m.toPosition[c], t);
                group[c] = Mix(NightGroupFrom[c], NightGroupTo[c], t);
            }
            group[1] -= GroupRadius;
            lines.push_back(SightLine(camera, group));
        }
    }
    return lines;
}

const std::vector<ClearLine> Lines = ClearLines();

// Scene 2 opens looking steeply down at the valley floor: a stream winds
// along the valley (world z near 0, every x) and boulders lie about where
// that first look falls, so the ground reads as ground at once.
constexpr float Pi = 3.14159265f;
constexpr float StreamHalfWidth = 0.45f;  // world units
constexpr float StreamDepth = 6.0f;       // height-map levels
constexpr float BankWidth = 0.35f;        // gravel beside the water, world units

// World z of the stream's middle at world x; repeats every 32 units, as the tiles do.
float FindStreamCentreZ(float x) {
    const float k = 2.0f * Pi / 32.0f;
    return -3.0f * std::cos(k * (x + 14.0f)) + 0.8f * std::sin(3.0f * k * x + 1.0f);
}

// A world coordinate difference brought into -16..16, the tiles' repeat.
float WrapToTileRepeat(float d) {
    return d - 32.0f * std::floor(d / 32.0f + 0.5f);
}

float MeasureStreamDistance(float x, float z) {
    return std::fabs(WrapToTileRepeat(z - FindStreamCentreZ(x)));
}

struct Boulder {
    float x, z;    // world units
    float radius;  // world units
    float height;  // height-map levels at the top
};

// Places where boulders could lie in scene 2's first look (x -24 to 4, z -9 to
// 5), none in the water; AddStreamAndBoulders keeps those on flat ground.
std::vector<Boulder> MakeBoulders() {
    std::vector<Boulder> rocks;
    for (uint32_t i = 0; i < 600; ++i) {
        float x = -24.0f + 28.0f * HashUnit(i, 1, 601), z = -9.0f + 14.0f * HashUnit(i, 2, 601);
        float size = HashUnit(i, 3, 601);
        float radius = 0.3f + 0.7f * size * size;
        if (MeasureStreamDistance(x, z) < StreamHalfWidth + BankWidth + radius)
            continue;
        rocks.push_back({x, z, radius, radius * (12.0f + 10.0f * HashUnit(i, 4, 601))});
    }
    return rocks;
}

// The boulders that lie on the ground: set by AddStreamAndBoulders once the
// eroded ground is known, read by the texture painting after it.
std::vector<Boulder> Boulders;

// How far (0 at the middle, 1 at the rim) a world point lies inside a boulder, over 1 outside.
float MeasureBoulderReach(const Boulder& b, float x, float z) {
    return std::hypot(WrapToTileRepeat(x - b.x), WrapToTileRepeat(z - b.z)) / b.radius;
}

// Calls paint(boulder, reach, index) for every sample of a wrapped field within 1.8 radii
// of a boulder: samplesPerUnit samples a world unit, sample i at world
// (i + centre) / samplesPerUnit - 16 (centre 0 for height-map vertices, 0.5 for texels).
template <typename Paint>
void VisitBoulderSamples(int size, int samplesPerUnit, float centre, Paint paint) {
    for (const Boulder& b : Boulders) {
        int cx = int(std::lround((128.0f + 8.0f * b.x) * samplesPerUnit / 8.0f));
        int cy = int(std::lround((128.0f + 8.0f * b.z) * samplesPerUnit / 8.0f));
        int reach = int(std::ceil(b.radius * 1.8f * samplesPerUnit)) + 1;
        for (int dy = -reach; dy <= reach; ++dy)
            for (int dx = -reach; dx <= reach; ++dx) {
                int px = ((cx + dx) % size + size) % size, py = ((cy + dy) % size + size) % size;
                float x = (px + centre) / samplesPerUnit - 16.0f;
                float z = (py + centre) / samplesPerUnit - 16.0f;
                paint(b, MeasureBoulderReach(b, x, z), size_t(py) * size + px);
            }
    }
}

// Where a pixel lies relative to the clear lines: its distance from the
// nearest glide (pixels), and the highest terrain allowed there (levels).
struct PathClearance {
    float distance;
    float headroom;
};

PathClearance ClearanceAt(float px, float py) {
    PathClearance c{1e9f, 1e9f};
    for (const ClearLine& l : Lines) {
        float ax = 128 + 8 * l.from[0], ay = 128 + 8 * l.from[2];
        float vx = 8 * (l.to[0] - l.from[0]), vy = 8 * (l.to[2] - l.from[2]);
        float len2 = std::max(vx * vx + vy * vy, 1e-6f);
        for (int wy = -1; wy <= 1; ++wy)
            for (int wx = -1; wx <= 1; ++wx) {
                float qx = px + 256 * wx - ax, qy = py + 256 * wy - ay;
                float t = Clamp01((qx * vx + qy * vy) / len2);
                float d = std::hypot(qx - t * vx, qy - t * vy);
                if (l.glide)
                    c.distance = std::min(c.distance, d);
                float away = std::max(0.0f, d / 8.0f - Mix(l.nearWidth, l.farWidth, t));
                float allowed =
                    Mix(l.from[1], l.to[1], t) - l.drop + l.rise * away + 0.1f * away * away;
                c.headroom = std::min(c.headroom, (allowed + 1.25f) * 32.0f);
            }
    }
    return c;
}

// A smooth minimum, so carved valleys meet the hills without a crease.
float SoftMin(float a, float b, float k) {
    float m = std::min(a, b);
    return m - k * std::log(std::exp((m - a) / k) + std::exp((m - b) / k));
}

// Rolling hills under ridged mountains, warped so nothing looks gridded.
// Higher octaves are kept weak: one pixel is 0.125 world units across
// while the full height range is 8 units, so fine noise would stand up
// as spikes.
float Mountains(float u, float v) {
    float wx = 0.12f * PeriodicFbm(u * 4.0f, v * 4.0f, 4, 3, 0.5f, 11);
    float wy = 0.12f * PeriodicFbm(u * 4.0f + 5.2f, v * 4.0f + 1.3f, 4, 3, 0.5f, 13);
    float hills = PeriodicFbm((u + wx) * 2.0f, (v + wy) * 2.0f, 2, 5, 0.42f, 17);
    float ridges = PeriodicRidged((u + wx) * 3.0f, (v + wy) * 3.0f, 3, 5, 19);
    float massif = 0.25f + 0.75f * SmoothStep(-0.45f, 0.35f, hills);
    return 0.30f + 0.45f * hills + 0.95f * ridges * massif;
}

// Droplet erosion on the wrapped map: each drop runs downhill, picks up
// soil where it speeds up and drops it where it slows, carving gullies.
struct Drop {
    float x, y, dx, dy, speed, water, soil;
};

void GradientAt(const Field& f, float x, float y, float& h, float& gx, float& gy) {
    int ix = int(std::floor(x)), iy = int(std::floor(y));
    float fx = x - ix, fy = y - iy;
    float a = FieldAt(f, ix, iy), b = FieldAt(f, ix + 1, iy);
    float c = FieldAt(f, ix, iy + 1), d = FieldAt(f, ix + 1, iy + 1);
    gx = (b - a) * (1 - fy) + (d - c) * fy;
    gy = (c - a) * (1 - fx) + (d - b) * fx;
    h = Mix(Mix(a, b, fx), Mix(c, d, fx), fy);
}

// Spreads a height change over the four pixels around (x, y).
void Deposit(Field& f, float x, float y, float amount) {
    int ix = int(std::floor(x)), iy = int(std::floor(y));
    float fx = x - ix, fy = y - iy;
    float w[4] = {(1 - fx) * (1 - fy), fx * (1 - fy), (1 - fx) * fy, fx * fy};
    for (int k = 0; k < 4; ++k) {
        int px = ((ix + (k & 1)) % f.width + f.width) % f.width;
        int py = ((iy + (k >> 1)) % f.height + f.height) % f.height;
        f.v[size_t(py) * f.width + px] += amount * w[k];
    }
}

typedef std::array<std::array<float, 5>, 5> Brush;

// Weights falling off with distance from the centre, summing to 1.
Brush MakeBrush() {
    Brush b;
    float sum = 0.0f;
    for (int j = 0; j < 5; ++j)
        for (int i = 0; i < 5; ++i)
            sum += b[j][i] = std::max(0.0f, 2.6f - std::hypot(i - 2.0f, j - 2.0f));
    for (auto& row : b)
        for (float& w : row) w /= sum;
    return b;
}

const Brush ErosionBrush = MakeBrush();

// Takes soil from a small round area, so gullies are wider than one pixel.
void Wear(Field& f, float x, float y, float amount) {
    int ix = int(std::lround(x)), iy = int(std::lround(y));
    for (int j = 0; j < 5; ++j)
        for (int i = 0; i < 5; ++i) {
            int px = ((ix + i - 2) % f.width + f.width) % f.width;
            int py = ((iy + j - 2) % f.height + f.height) % f.height;
            f.v[size_t(py) * f.width + px] -= amount * ErosionBrush[j][i];
        }
}

void RunDrop(Field& f, Drop d) {
    for (int life = 0; life < 40; ++life) {
        float h, gx, gy;
        GradientAt(f, d.x, d.y, h, gx, gy);
        d.dx = d.dx * 0.1f - gx * 0.9f;
        d.dy = d.dy * 0.1f - gy * 0.9f;
        float len = std::sqrt(d.dx * d.dx + d.dy * d.dy);
        if (len < 1e-6f)
            return;
        d.dx /= len;
        d.dy /= len;
        float ox = d.x, oy = d.y;
        d.x += d.dx;
        d.y += d.dy;
        float nh, ngx, ngy;
        GradientAt(f, d.x, d.y, nh, ngx, ngy);
        float drop = h - nh;
        float capacity = std::max(drop, 0.002f) * d.speed * d.water * 5.0f;
        if (drop < 0.0f || d.soil > capacity) {
            float put = drop < 0.0f ? std::min(-drop, d.soil) : (d.soil - capacity) * 0.3f;
            d.soil -= put;
            Deposit(f, ox, oy, put);
        } else {
            float take = std::min((capacity - d.soil) * 0.3f, drop);
            d.soil += take;
            Wear(f, ox, oy, take);
        }
        d.speed = std::sqrt(std::max(0.0f, d.speed * d.speed + drop * 8.0f));
        d.water *= 0.97f;
    }
}

void Erode(Field& f, int drops) {
    for (int i = 0; i < drops; ++i) {
        float x = HashUnit(uint32_t(i), 1, 97) * f.width,
              y = HashUnit(uint32_t(i), 2, 97) * f.height;
        RunDrop(f, {x, y, 0.0f, 0.0f, 1.0f, 1.0f, 0.0f});
    }
}

// Stretches the field over 0..1 and half-equalises its histogram, so the
// height map uses most of its 256 levels while keeping its shapes.
void Normalise(Field& f) {
    std::vector<float> sorted = f.v;
    std::sort(sorted.begin(), sorted.end());
    float lo = sorted[sorted.size() / 200], hi = sorted[sorted.size() - 1 - sorted.size() / 1000];
    for (float& h : f.v) {
        float rank = float(std::lower_bound(sorted.begin(), sorted.end(), h) - sorted.begin()) /
                     float(sorted.size());
        float stretched = Clamp01((h - lo) / (hi - lo));
        h = 0.02f + 0.96f * Mix(stretched, rank, 0.5f);
    }
}

// Catmull-Rom interpolation of the wrapped field, so lighting computed from
// the magnified heights shows no cell pattern.
float CubicWeight(float t, int i) {
    float t2 = t * t, t3 = t2 * t;
    switch (i) {
        case 0:
            return 0.5f * (-t3 + 2.0f * t2 - t);
        case 1:
            return 0.5f * (3.0f * t3 - 5.0f * t2 + 2.0f);
        case 2:
            return 0.5f * (-3.0f * t3 + 4.0f * t2 + t);
        default:
            return 0.5f * (t3 - t2);
    }
}

float FieldBicubic(const Field& f, float x, float y) {
    int x0 = int(std::floor(x)), y0 = int(std::floor(y));
    float fx = x - x0, fy = y - y0, sum = 0.0f;
    for (int j = 0; j < 4; ++j) {
        float row = 0.0f;
        for (int i = 0; i < 4; ++i) row += CubicWeight(fx, i) * FieldAt(f, x0 + i - 1, y0 + j - 1);
        sum += CubicWeight(fy, j) * row;
    }
    return sum;
}

// Height field magnified to texture resolution, in height-map units (0..1).
struct Terrain {
    Field height;     // texture resolution
    Field heightMap;  // height-map resolution
    int scale;        // texels per height-map pixel
};

Terrain Magnify(const Field& heightMap, int size) {
    Terrain t{MakeField(size, size), heightMap, size / heightMap.width};
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            t.height.v[size_t(y) * size + x] =
                FieldBicubic(heightMap, (x + 0.5f) / t.scale, (y + 0.5f) / t.scale);
    return t;
}

struct Vec3 {
    float x, y, z;
};

Vec3 Normalised(Vec3 v) {
    float l = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    return {v.x / l, v.y / l, v.z / l};
}

float Dot(Vec3 a, Vec3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

// World-space normal: a height-map pixel is 0.125 world units wide and the
// full height range is 8 units tall, as the terrain meshes are built.
Vec3 NormalAt(const Terrain& t, int x, int y) {
    float dx = FieldAt(t.height, x + 1, y) - FieldAt(t.height, x - 1, y);
    float dy = FieldAt(t.height, x, y + 1) - FieldAt(t.height, x, y - 1);
    float unitsPerTexel = 0.125f / t.scale;
    float k = 255.0f / 32.0f / (2.0f * unitsPerTexel);
    return Normalised({-dx * k, 1.0f, -dy * k});
}

// Small bumps finer than the height map, so magnified slopes look rough
// rather than smeared; periodic like everything else.
Vec3 Roughened(Vec3 n, int x, int y, int size) {
    float u = x / float(size), v = y / float(size), e = 1.0f / size;
    float h = PeriodicFbm(u * 48.0f, v * 48.0f, 48, 4, 0.5f, 43);
    float hx = PeriodicFbm((u + e) * 48.0f, v * 48.0f, 48, 4, 0.5f, 43);
    float hy = PeriodicFbm(u * 48.0f, (v + e) * 48.0f, 48, 4, 0.5f, 43);
    const float k = 6.0f;
    return Normalised({n.x - (hx - h) * k, n.y, n.z - (hy - h) * k});
}

// Soft cast shadow at height-map resolution: how far the terrain towards
// the light rises above the ray, faded with distance.
Field SunShadow(const Field& h, float dirX, float dirY, float rise) {
    Field s = MakeField(h.width, h.height);
    for (int y = 0; y < h.height; ++y)
        for (int x = 0; x < h.width; ++x) {
            float h0 = FieldAt(h, x, y), block = 0.0f;
            for (int step = 1; step < 48; ++step) {
                float ray = h0 + rise * step;
                float over = FieldBilinear(h, x + dirX * step, y + dirY * step) - ray;
                block = std::max(block, over * 40.0f / (1.0f + step * 0.08f));
            }
            s.v[size_t(y) * h.width + x] = 1.0f - Clamp01(block);
        }
    return BoxBlur(s, 1);
}

Picture FieldToGrey(const Field& f) {
    Picture p = MakePicture(f.width, f.height);
    for (int y = 0; y < f.height; ++y)
        for (int x = 0; x < f.width; ++x) {
            float v = f.v[size_t(y) * f.width + x];
            PutPixel(p, x, y, {v, v, v});
        }
    return p;
}

// Day ground colour before lighting, by height, slope (tangent) and
// mottling noise: a sandy river bed at the very bottom, meadows, darker
// woods higher up, rock where it is steep, snow on the peaks.
Colour DayGround(float h, float slope, float u, float v) {
    float n = PeriodicFbm(u * 16.0f, v * 16.0f, 16, 5, 0.55f, 31);
    float n2 = PeriodicFbm(u * 64.0f, v * 64.0f, 64, 3, 0.5f, 37);
    Colour sand{0.78f, 0.70f, 0.52f};
    Colour meadow{0.42f, 0.54f, 0.25f};
    Colour forest{0.24f, 0.40f, 0.17f};
    Colour rock{0.58f, 0.54f, 0.50f};
    Colour darkRock{0.42f, 0.39f, 0.37f};
    Colour snow{0.92f, 0.93f, 0.97f};
    Colour grass = MixColour(meadow, forest, SmoothStep(-0.15f, 0.35f, n + 0.8f * (h - 0.4f)));
    Colour c = MixColour(sand, grass, SmoothStep(0.02f, 0.04f, h + 0.02f * n));
    Colour stone = MixColour(rock, darkRock,
                             Clamp01(0.5f + n2 * 1.5f + 0.15f * std::sin(h * 40.0f + n * 3.0f)));
    c = MixColour(c, stone, SmoothStep(0.95f, 1.5f, slope + 0.4f * n + 0.3f * h));
    float snowLine = 0.74f + 0.07f * n + 0.12f * slope;
    c = MixColour(c, snow, SmoothStep(snowLine, snowLine + 0.07f, h));
    float grain = 1.0f + 0.10f * n2;
    return {c.r * grain, c.g * grain, c.b * grain};
}

// How much higher a point lies than its surroundings: crests are positive.
Field Convexity(const Field& h) {
    Field blurred = BoxBlur(BoxBlur(h, 3), 3);
    Field c = MakeField(h.width, h.height);
    for (size_t i = 0; i < h.v.size(); ++i) c.v[i] = h.v[i] - blurred.v[i];
    return c;
}

// Villages: a few clusters of warm lights on low, flat ground.
void AddVillageLights(Picture& p, const Terrain& t) {
    int size = p.width, placed = 0;
    for (uint32_t i = 0; placed < 20 && i < 4000; ++i) {
        int cx = int(HashUnit(i, 1, 501) * size), cy = int(HashUnit(i, 2, 501) * size);
        float h = FieldAt(t.height, cx, cy);
        if (h > 0.2f || NormalAt(t, cx, cy).y < 0.9f)
            continue;
        ++placed;
        int houses = 3 + int(HashUnit(i, 3, 501) * 7);
        for (int k = 0; k < houses; ++k) {
            float ox = (HashUnit(i, 10 + k, 502) - 0.5f) * 28.0f;
            float oy = (HashUnit(i, 40 + k, 502) - 0.5f) * 28.0f;
            float bright = 0.6f + 0.4f * HashUnit(i, 70 + k, 502);
            for (int dy = -6; dy <= 6; ++dy)
                for (int dx = -6; dx <= 6; ++dx) {
                    int px = ((cx + int(ox) + dx) % size + size) % size;
                    int py = ((cy + int(oy) + dy) % size + size) % size;
                    float d2 = float(dx * dx + dy * dy);
                    float glow = bright * (std::exp(-d2 * 0.9f) + 0.25f * std::exp(-d2 * 0.08f));
                    Colour c = GetPixel(p, px, py);
                    PutPixel(p, px, py, {c.r + glow, c.g + glow * 0.72f, c.b + glow * 0.38f});
                }
        }
    }
}

const int TextureSize = 1024;

// What both colour pictures need: the magnified heights, their roughened
// normals at texture resolution, and the convexity at height-map resolution.
struct Surface {
    Terrain t;
    std::vector<Vec3> normals;
    Field convex;
    Field rock;        // texture resolution: 1 on a boulder, 0 off it
    Field contact;     // texture resolution: the shade around a boulder's foot, 0..1
    Field stoneLight;  // texture resolution: the sun on a boulder's round form, 0.45..1.35
};

// Texels per world unit: the texture spans the 32 units of one tile.
const int TexelsPerUnit = TextureSize / 32;

// How the sun lights a boulder at texel i: a round stone, bright on its sunny
// side and dark on the other. The height map is too coarse to give a small
// stone a shaded form of its own; without this it reads as a painted disc.
float StoneLight(const Boulder& b, float reach, size_t i) {
    const Vec3 sun = Normalised({-0.55f, 0.6f, -0.45f});
    float x = (i % TextureSize + 0.5f) / TexelsPerUnit - 16.0f;
    float z = (i / TextureSize + 0.5f) / TexelsPerUnit - 16.0f;
    float dx = WrapToTileRepeat(x - b.x) / b.radius, dz = WrapToTileRepeat(z - b.z) / b.radius;
    float up = std::sqrt(std::max(0.0f, 1.0f - reach * reach));
    return 0.45f + 0.9f * std::max(0.0f, Dot(Normalised({dx, up, dz}), sun));
}

// The shadow a boulder casts on the ground: the stone's outline pushed away
// from the sun by about its height, soft at the edge. With the dark ring at
// its foot, it sets the stone on the ground instead of over it.
float BoulderCastShadow(const Boulder& b, size_t i) {
    const float awayX = 0.77f, awayZ = 0.63f;  // the sun's direction on the ground, reversed
    float x = (i % TextureSize + 0.5f) / TexelsPerUnit - 16.0f;
    float z = (i / TextureSize + 0.5f) / TexelsPerUnit - 16.0f;
    float dx = WrapToTileRepeat(x - b.x) / b.radius - 0.5f * awayX;
    float dz = WrapToTileRepeat(z - b.z) / b.radius - 0.5f * awayZ;
    float along = dx * awayX + dz * awayZ, across = dx * awayZ - dz * awayX;
    float reach = std::hypot(along / 1.25f, across / 1.05f);
    return 1.0f - SmoothStep(0.8f, 1.1f, reach);
}

void PaintBoulders(Surface& s) {
    s.rock = MakeField(TextureSize, TextureSize);
    s.contact = MakeField(TextureSize, TextureSize);
    s.stoneLight = MakeField(TextureSize, TextureSize);
    for (float& v : s.stoneLight.v) v = 1.0f;
    VisitBoulderSamples(
        TextureSize, TexelsPerUnit, 0.5f, [&](const Boulder& b, float reach, size_t i) {
            float rock = SmoothStep(1.0f, 0.94f, reach);
            if (rock > s.rock.v[i]) {
                // The foot of the stone, where the ground hides the sky, is darker.
                float foot = 0.7f + 0.3f * (1.0f - std::pow(std::min(reach, 1.0f), 6.0f));
                s.stoneLight.v[i] = StoneLight(b, std::min(reach, 1.0f), i) * foot;
            }
            s.rock.v[i] = std::max(s.rock.v[i], rock);
            float ring = 1.0f - SmoothStep(0.95f, 1.25f, reach);
            s.contact.v[i] = std::max({s.contact.v[i], ring, 0.85f * BoulderCastShadow(b, i)});
        });
}

Surface MakeSurface(const Field& height) {
    Surface s{Magnify(height, TextureSize), {}, Convexity(height), {}, {}, {}};
    PaintBoulders(s);
    s.normals.resize(size_t(TextureSize) * TextureSize);
    for (int y = 0; y < TextureSize; ++y)
        for (int x = 0; x < TextureSize; ++x)
            s.normals[size_t(y) * TextureSize + x] =
                Roughened(NormalAt(s.t, x, y), x, y, TextureSize);
    return s;
}

// A surface under one light, with that light's soft cast shadow.
struct LitTerrain {
    const Surface& s;
    Field shadow;
};

// Where texel (x, y) lies against the stream: 1 in the water, 0 off it,
// and bank 1 on the gravel beside it; ripple, 0..1, moves the light on the water.
struct StreamTexel {
    float water, bank, ripple;
};

StreamTexel SampleStreamAt(int x, int y) {
    float wx = (x + 0.5f) / TexelsPerUnit - 16.0f, wz = (y + 0.5f) / TexelsPerUnit - 16.0f;
    float d = MeasureStreamDistance(wx, wz);
    StreamTexel t{0.0f, 0.0f, 0.0f};
    if (d > StreamHalfWidth + BankWidth)
        return t;
    t.water = SmoothStep(StreamHalfWidth + 0.04f, StreamHalfWidth - 0.08f, d);
    t.bank = SmoothStep(StreamHalfWidth + BankWidth, StreamHalfWidth + 0.4f * BankWidth, d);
    float u = x / float(TextureSize), v = y / float(TextureSize);
    // Ripples stretched along the flow, which runs along x.
    t.ripple = Clamp01(0.5f + PeriodicFbm(u * 64.0f, v * 256.0f, 64, 3, 0.5f, 611));
    return t;
}

// Gravel banks, and water that shows the pale sky with bright glints.
Colour PaintDayStream(Colour ground, int x, int y) {
    StreamTexel t = SampleStreamAt(x, y);
    if (t.bank <= 0.0f)
        return ground;
    float grain = 0.75f + 0.5f * HashUnit(uint32_t(x), uint32_t(y), 613);
    Colour gravel{0.66f * grain, 0.62f * grain, 0.54f * grain};
    Colour c = MixColour(ground, gravel, t.bank * (1.0f - t.water));
    float glint = std::pow(t.ripple, 6.0f) * 1.6f;
    Colour water{0.22f + 0.25f * t.ripple + glint, 0.34f + 0.22f * t.ripple + glint,
                 0.40f + 0.2f * t.ripple + glint};
    return MixColour(c, water, t.water);
}

// At night the water is nearly black, with the moon's glints on it.
Colour PaintNightStream(Colour ground, int x, int y) {
    StreamTexel t = SampleStreamAt(x, y);
    if (t.bank <= 0.0f)
        return ground;
    Colour bank{ground.r * 1.3f, ground.g * 1.3f, ground.b * 1.3f};
    Colour c = MixColour(ground, bank, t.bank * (1.0f - t.water));
    float glint = std::pow(t.ripple, 5.0f);
    Colour water{0.02f + 0.3f * glint, 0.035f + 0.36f * glint, 0.07f + 0.5f * glint};
    return MixColour(c, water, t.water);
}

// Woods: dark clumps of trees on the gentler, lower ground, none on rock,
// snow or the stream's banks; 0 to 1.
float WoodsAt(float h, float slope, int x, int y) {
    float u = x / float(TextureSize), v = y / float(TextureSize);
    float clumps = PeriodicFbm(u * 14.0f, v * 14.0f, 14, 5, 0.55f, 47);
    float ground = (1.0f - SmoothStep(0.5f, 0.9f, slope)) * (1.0f - SmoothStep(0.55f, 0.7f, h));
    return SmoothStep(0.02f, 0.16f, clumps + 0.25f * (h - 0.3f)) * ground;
}

Colour ShadeDayTexel(const LitTerrain& l, int x, int y) {
    const Vec3 sun = Normalised({-0.55f, 0.6f, -0.45f});
    Vec3 n = l.s.normals[size_t(y) * TextureSize + x];
    float h = l.s.t.height.v[size_t(y) * TextureSize + x];
    float slope = std::sqrt(1.0f - n.y * n.y) / std::max(n.y, 0.05f);
    Colour c = DayGround(h, slope, x / float(TextureSize), y / float(TextureSize));
    float hx = (x + 0.5f) / l.s.t.scale, hy = (y + 0.5f) / l.s.t.scale;
    float shade = FieldBilinear(l.shadow, hx, hy);
    float ao = Clamp01(1.0f + 6.0f * FieldBilinear(l.s.convex, hx, hy));
    size_t i = size_t(y) * TextureSize + x;
    float rock = l.s.rock.v[i];
    float grain = 0.8f + 0.4f * HashUnit(uint32_t(x / 2), uint32_t(y / 2), 607);
    grain *= l.s.stoneLight.v[i];
    if (rock > 0.0f)  // weathered patches, so a close stone is not a smooth ball
        grain *=
            0.8f + 0.4f * Clamp01(0.5f + PeriodicFbm(x * 96.0f / TextureSize,
                                                     y * 96.0f / TextureSize, 96, 3, 0.5f, 619));
    c = MixColour(c, {0.56f * grain, 0.54f * grain, 0.50f * grain}, rock);
    // Woods: darker, bluer green, their crowns in each other's shade.
    float woods = WoodsAt(h, slope, x, y) * (1.0f - rock);
    float crowns = 0.75f + 0.5f * HashUnit(uint32_t(x / 3), uint32_t(y / 3), 617);
    c = MixColour(c, {0.06f * crowns, 0.15f * crowns, 0.06f * crowns}, woods);
    float diffuse = std::max(0.0f, Dot(n, sun)) * (0.35f + 0.65f * shade);
    // The tiles are drawn unlit at 0.65 of this colour: keep it bright, with
    // more sun than sky so slopes read by their shading at dusk too.
    float light = 1.15f * ((0.5f + 0.3f * ao) * 0.45f + 0.95f * diffuse);
    light *= 1.0f - 0.6f * l.s.contact.v[i] * (1.0f - rock);
    Colour lit{c.r * light * 1.05f, c.g * light, c.b * light * 0.95f + 0.03f};
    return PaintDayStream(lit, x, y);
}

// Moonlit ground under a low moon: silver-blue on the slopes that face it,
// near black in their shadows and under the woods, brighter crests and snow.
// The night is seen while the dusk grade squares the picture, so it needs
// a wide range to read as a landscape and not as murk.
Colour ShadeNightTexel(const LitTerrain& l, int x, int y) {
    // Low, behind and left of the nightfall's camera, so the slopes that shot
    // looks at are lit across and its ridges stand against the sky.
    const Vec3 moon = Normalised({-0.6f, 0.45f, 0.35f});
    Vec3 n = l.s.normals[size_t(y) * TextureSize + x];
    float h = l.s.t.height.v[size_t(y) * TextureSize + x];
    float slope = std::sqrt(1.0f - n.y * n.y) / std::max(n.y, 0.05f);
    float hx = (x + 0.5f) / l.s.t.scale, hy = (y + 0.5f) / l.s.t.scale;
    float facing = std::max(0.0f, Dot(n, moon)) * 1.25f;
    float lit = facing * facing * facing * (0.2f + 0.8f * FieldBilinear(l.shadow, hx, hy));
    float crest = Clamp01(FieldBilinear(l.s.convex, hx, hy) * 14.0f);
    float n1 = PeriodicFbm(x * 16.0f / TextureSize, y * 16.0f / TextureSize, 16, 4, 0.5f, 41);
    float snow = SmoothStep(0.72f, 0.8f, h + 0.06f * n1);
    size_t i = size_t(y) * TextureSize + x;
    float rock = l.s.rock.v[i] * l.s.stoneLight.v[i];
    float woods = WoodsAt(h, slope, x, y) * (1.0f - l.s.rock.v[i]);
    float base = 0.05f + 0.03f * n1 + 0.06f * h;
    float moonlight = lit * (1.1f + 0.6f * snow + 0.4f * rock) + crest * (0.2f + 0.4f * lit);
    // Rolled off, so the night scene's doubled picture keeps its moonlit faces off white.
    moonlight = 1.15f * moonlight / (1.0f + 0.6f * moonlight);
    float foot = 1.0f - 0.7f * l.s.contact.v[i] * (1.0f - l.s.rock.v[i]);
    float shade = foot * (1.0f - 0.85f * woods);
    Colour c{(base * 0.8f + moonlight * 0.72f) * shade, (base * 0.9f + moonlight * 0.82f) * shade,
             (base * 1.25f + moonlight * 1.0f) * shade};
    return PaintNightStream(c, x, y);
}

template <typename Texel>
Picture Paint(const LitTerrain& l, Texel texel) {
    Picture p = MakePicture(TextureSize, TextureSize);
    for (int y = 0; y < TextureSize; ++y)
        for (int x = 0; x < TextureSize; ++x) PutPixel(p, x, y, texel(l, x, y));
    return p;
}

}  // namespace

// Boulders lie where the ground is nearly flat: on a steep cell the round
// stone would stand out of the slope, and its texture stretches down it.
const float MaxBoulderSlope = 0.7f;  // rise per run, over the stone's footprint
const size_t MaxBoulders = 90;

// The steepest slope under a boulder, at its middle and four rim points.
float SlopeUnder(const Field& f, const Boulder& b) {
    const float offsets[5][2] = {{0, 0}, {1, 0}, {-1, 0}, {0, 1}, {0, -1}};
    float steepest = 0.0f;
    for (const auto& o : offsets) {
        float h, gx, gy;
        GradientAt(f, 128.0f + 8.0f * (b.x + o[0] * b.radius),
                   128.0f + 8.0f * (b.z + o[1] * b.radius), h, gx, gy);
        // Levels are 1/32 unit, pixels 1/8: a level a pixel is a rise of 1/4.
        steepest = std::max(steepest, std::hypot(gx, gy) * 255.0f / 4.0f);
    }
    return steepest;
}

// The stream's bed cut into the valley floor and the boulders set on it,
// after erosion so neither is washed away.
static void AddStreamAndBoulders(Field& f) {
    for (int y = 0; y < MapSize; ++y)
        for (int x = 0; x < MapSize; ++x) {
            float d = MeasureStreamDistance((x - 128) / 8.0f, (y - 128) / 8.0f);
            float bed = SmoothStep(StreamHalfWidth + 0.3f, StreamHalfWidth - 0.15f, d);
            f.v[size_t(y) * MapSize + x] -= StreamDepth / 255.0f * bed;
        }
    Boulders.clear();
    for (const Boulder& b : MakeBoulders())
        if (SlopeUnder(f, b) <= MaxBoulderSlope && Boulders.size() < MaxBoulders)
            Boulders.push_back(b);
    VisitBoulderSamples(MapSize, 8, 0.0f, [&](const Boulder& b, float reach, size_t i) {
        float dome = std::pow(Clamp01(1.0f - reach * reach), 0.6f);
        f.v[i] += b.height * dome / 255.0f;
    });
    for (float& v : f.v) v = std::max(v, 0.0f);
}

// Before erosion: mountains that fall to a valley floor along the camera paths.
static Field ShapeTerrain(std::vector<PathClearance>& clearance) {
    Field f = MakeField(MapSize, MapSize);
    for (int y = 0; y < MapSize; ++y)
        for (int x = 0; x < MapSize; ++x) {
            float u = x / float(MapSize), v = y / float(MapSize);
            float meander = 3.0f * PeriodicFbm(u * 8.0f, v * 8.0f, 8, 2, 0.5f, 71);
            PathClearance c = ClearanceAt(float(x), float(y));
            clearance[size_t(y) * MapSize + x] = c;
            float valley = SmoothStep(3.0f, 48.0f, c.distance + meander);
            float floor = 0.03f * PeriodicFbm(u * 8.0f, v * 8.0f, 8, 3, 0.5f, 23);
            f.v[size_t(y) * MapSize + x] = Mix(floor, Mountains(u, v), valley);
        }
    return f;
}

// The headroom is the lowest of the clear lines' slopes, so where two of them
// meet it folds into a knife-edged crest, and a mountain cut down to it
// becomes a pyramid with straight sharp ridges (scene 2's first sweep looks at
// one). A blur rounds those folds; taking the lower of the two leaves the
// rest of the headroom as it was (away from folds it curves upwards, and
// the blur only raises it there), so no path loses any clearance.
static Field RoundHeadroomCrests(const std::vector<PathClearance>& clearance) {
    Field h = MakeField(MapSize, MapSize);
    for (size_t i = 0; i < h.v.size(); ++i) h.v[i] = std::max(clearance[i].headroom, 0.0f);
    Field rounded = BoxBlur(BoxBlur(h, 5), 5);
    for (size_t i = 0; i < h.v.size(); ++i) h.v[i] = std::min(h.v[i], rounded.v[i]);
    return h;
}

// Mountains with valleys along the camera paths; erosion; then a last
// guarantee that no camera flies through the ground.
Field MakeHeightField() {
    std::vector<PathClearance> clearance(size_t(MapSize) * MapSize);
    Field f = ShapeTerrain(clearance);
    Normalise(f);
    Erode(f, 30000);
    Field soft = BoxBlur(f, 1);
    for (size_t i = 0; i < f.v.size(); ++i) f.v[i] = Mix(f.v[i], soft.v[i], 0.5f);
    Normalise(f);
    AddStreamAndBoulders(f);
    Field headroom = RoundHeadroomCrests(clearance);
    // The last word: the ground stays under its headroom. The ceiling follows
    // the ground's own shape, so the ridges it lowers keep their relief.
    for (size_t i = 0; i < f.v.size(); ++i) {
        float ceiling = headroom.v[i] * (0.3f + 0.7f * f.v[i]);
        f.v[i] = SoftMin(f.v[i] * 255.0f, ceiling, 6.0f) / 255.0f;
    }
    return f;
}

bool WriteHeightMap(const std::string& path, const Field& height) {
    return WriteJpeg(path, FieldToGrey(height), 95);
}

bool WriteTerrainTextures(const std::string& dayPath, const std::string& nightPath,
                          const Field& height) {
    Surface surface = MakeSurface(height);
    LitTerrain day{surface, SunShadow(height, -0.8f, -0.6f, 0.012f)};
    // Moonlight is soft: its shadows are blurred and never black.
    LitTerrain night{surface, BoxBlur(BoxBlur(SunShadow(height, -0.86f, 0.5f, 0.008f), 3), 3)};
    Picture nightPicture = Paint(night, ShadeNightTexel);
    AddVillageLights(nightPicture, surface.t);
    return WriteJpeg(dayPath, Paint(day, ShadeDayTexel), 90) &&
           WriteJpeg(nightPath, nightPicture, 90);
}

bool WriteDetail(const std::string& path) {
    const int size = 256;
    Field f = MakeField(size, size);
    double sum = 0.0;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            float u = x / float(size), v = y / float(size);
            float n = 0.55f * PeriodicFbm(u * 8.0f, v * 8.0f, 8, 5, 0.6f, 51) +
                      0.45f * (HashUnit(uint32_t(x), uint32_t(y), 53) - 0.5f);
            f.v[size_t(y) * size + x] = n;
            sum += n;
        }
    float mean = float(sum / (size * size));
    for (float& v : f.v) v = 128.0f / 255.0f + (v - mean) * 0.75f;
    return WriteJpeg(path, FieldToGrey(f), 90);
}
