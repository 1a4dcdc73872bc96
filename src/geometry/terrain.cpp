// Height-map terrain meshes: cells computed on the CPU, compiled into lists.
#include "geometry/terrain.h"

#include <GL/gl.h>

#include <csetjmp>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>  // after cstdio: it needs FILE and size_t

#include "geometry/models.h"
#include "geometry/vec3.h"
#include "resources/images.h"

const char* const HeightMapPath = "data/heightmap.jpg";

namespace {

constexpr int MapSide = 256;  // pixels; rows are always read as 256 x 3 bytes

// Red byte of pixel (c, r), both wrapping modulo 256.
int HeightSample(const ImageRecord& map, int c, int r) {
    int index = ((r & (MapSide - 1)) * MapSide + (c & (MapSide - 1))) * 3;
    return map.pixels[index];
}

void MeshPoint(const ImageRecord& map, int c, int r, float out[3]) {
    out[0] = static_cast<float>(c - 128) / 128.0f;
    out[1] = static_cast<float>(r - 128) / 128.0f;
    out[2] = 0.3125f - static_cast<float>(HeightSample(map, c, r)) / 128.0f;
}

void ComputeCell(const ImageRecord& map, int c1, int r1, int step, TerrainQuad* quad) {
    const int cs[4] = {c1 - step, c1, c1, c1 - step};
    const int rs[4] = {r1 - step, r1 - step, r1, r1};
    for (int v = 0; v < 4; ++v) {
        MeshPoint(map, cs[v], rs[v], quad->position[v]);
        quad->texCoord[v][0] = static_cast<float>(cs[v]) / 256.0f;
        quad->texCoord[v][1] = static_cast<float>(rs[v]) / 256.0f;
    }
    // The first triangle's normal (P00, P10, P11) for the whole quad.
    FaceNormal(quad->position[0], quad->position[1], quad->position[2], quad->normal);
}

void EmitTerrainList(const std::vector<TerrainQuad>& quads, unsigned int list) {
    glNewList(list, GL_COMPILE);
    glBegin(GL_QUADS);
    for (const TerrainQuad& quad : quads) {
        glNormal3fv(quad.normal);
        for (int v = 0; v < 4; ++v) {
            glTexCoord2fv(quad.texCoord[v]);
            glVertex3fv(quad.position[v]);
        }
    }
    glEnd();
    glEndList();
}

// The header is read here first, with an error exit that comes back, to say
// what is wrong with a file that has the wrong size or depth.
struct ProbeErrors {
    jpeg_error_mgr manager;
    std::jmp_buf back;
};

void ReturnFromProbe(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ProbeErrors*>(info->err)->back, 1);
}

void IgnoreProbeMessage(j_common_ptr) {}

const char* ProbeHeader(FILE* file) {
    jpeg_decompress_struct info;
    ProbeErrors errors;
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = ReturnFromProbe;
    errors.manager.output_message = IgnoreProbeMessage;
    jpeg_CreateDecompress(&info, 62, sizeof(jpeg_decompress_struct));
    if (setjmp(errors.back)) {
        jpeg_destroy_decompress(&info);
        return "not a decodable JPEG";
    }
    jpeg_stdio_src(&info, file);
    jpeg_read_header(&info, TRUE);
    const char* problem = nullptr;
    if (info.image_width != unsigned(MapSide) || info.image_height != unsigned(MapSide))
        problem = "not 256 x 256 pixels";
    else if (info.num_components != 3)
        problem = "not 24 bits per pixel";
    jpeg_destroy_decompress(&info);
    return problem;
}

}  // namespace

const char* HeightMapFileProblem(const char* path) {
    FILE* file = std::fopen(path, "rb");
    if (!file)
        return "missing";
    const char* problem = ProbeHeader(file);
    std::fclose(file);
    return problem;
}

const char* HeightMapProblem(const ImageRecord& map) {
    if (!map.pixels)
        return "no pixels";
    if (map.width != MapSide || map.height != MapSide)
        return "not 256 x 256 pixels";
    if (map.bitsPerPixel != 24)
        return "not 24 bits per pixel";
    return nullptr;
}

void ComputeTerrainQuads(const ImageRecord& map, int step, std::vector<TerrainQuad>* quads) {
    const int columns = (map.width + step) / step;
    const int rows = (map.height + step) / step;
    quads->clear();
    quads->reserve(static_cast<size_t>(columns) * rows);
    for (int i = 1; i <= columns; ++i) {
        for (int j = 1; j <= rows; ++j) {
            TerrainQuad quad;
            ComputeCell(map, i * step, j * step, step, &quad);
            quads->push_back(quad);
        }
    }
}

bool CompileTerrainList(const ImageRecord& map, const char* path, int step, int slot) {
    if (const char* problem = HeightMapProblem(map)) {
        std::fprintf(stderr, "%s: %s (%d x %d, %d bits); terrain mesh of step %d left empty\n",
                     path, problem, map.width, map.height, map.bitsPerPixel, step);
        return false;
    }
    std::vector<TerrainQuad> quads;
    ComputeTerrainQuads(map, step, &quads);
    EmitTerrainList(quads, DisplayListTable[slot]);
    return true;
}

bool BuildTerrainListFromFile(const char* path, int step, int slot) {
    const char* problem = HeightMapFileProblem(path);
    ImageRecord map;
    if (!problem && !LoadJpegImageReturning(path, &map))
        problem = "not a decodable JPEG";
    if (problem) {
        std::fprintf(stderr, "%s: %s; terrain mesh of step %d left empty\n", path, problem, step);
        return false;
    }
    bool built = CompileTerrainList(map, path, step, slot);
    std::free(map.pixels);
    return built;
}

// The full-resolution mesh is built whatever Demo++ says at load time: the
// day-to-night scene switches Demo++ on later and then draws from it.
void BuildTerrainList(int step, int slot) {
    BuildTerrainListFromFile(HeightMapPath, step, slot);
}
