// MP3 encoding with LAME: 192 kbps CBR stereo, with the Info/LAME tag that lets decoders
// drop the encoder's delay and padding (gapless).
#include "music_internal.h"

#include <lame/lame.h>

#include <algorithm>
#include <cstdio>

namespace {

lame_global_flags* OpenEncoder() {
    lame_global_flags* lame = lame_init();
    if (!lame) {
        return nullptr;
    }
    lame_set_in_samplerate(lame, SampleRate);
    lame_set_out_samplerate(lame, SampleRate);
    lame_set_num_channels(lame, 2);
    lame_set_mode(lame, JOINT_STEREO);
    lame_set_brate(lame, 192);
    lame_set_VBR(lame, vbr_off);
    lame_set_quality(lame, 7);
    lame_set_bWriteVbrTag(lame, 1);
    lame_set_write_id3tag_automatic(lame, 0);
    if (lame_init_params(lame) < 0) {
        lame_close(lame);
        return nullptr;
    }
    return lame;
}

bool WriteAll(FILE* file, const unsigned char* data, int size) {
    return size <= 0 || fwrite(data, 1, size, file) == static_cast<size_t>(size);
}

bool EncodeInto(lame_global_flags* lame, const StereoBuffer& pcm, FILE* file) {
    const int ChunkFrames = 8192;
    std::vector<unsigned char> out(ChunkFrames * 5 / 4 + 7200);
    // The encoder turns its input down a little (by 3 %) to leave room for its own overshoot;
    // the mastering has left that room already, so the file keeps the mix's level.
    const float undo = 1.0f / lame_get_scale(lame);
    std::vector<float> left(ChunkFrames), right(ChunkFrames);
    int frames = static_cast<int>(pcm.left.size());
    for (int at = 0; at < frames; at += ChunkFrames) {
        int count = std::min(ChunkFrames, frames - at);
        for (int i = 0; i < count; i++) {
            left[i] = pcm.left[at + i] * undo;
            right[i] = pcm.right[at + i] * undo;
        }
        int size = lame_encode_buffer_ieee_float(lame, left.data(), right.data(), count, out.data(),
                                                 static_cast<int>(out.size()));
        if (size < 0 || !WriteAll(file, out.data(), size)) {
            return false;
        }
    }
    int size = lame_encode_flush(lame, out.data(), static_cast<int>(out.size()));
    if (size < 0 || !WriteAll(file, out.data(), size)) {
        return false;
    }
    // The tag frame was reserved at the start of the stream; fill it in now.
    unsigned char tag[2880];
    size_t tagSize = lame_get_lametag_frame(lame, tag, sizeof tag);
    if (tagSize == 0 || tagSize > sizeof tag || fseek(file, 0, SEEK_SET) != 0) {
        return false;
    }
    return WriteAll(file, tag, static_cast<int>(tagSize));
}

}  // namespace

bool EncodeMp3(const StereoBuffer& pcm, const char* path) {
    lame_global_flags* lame = OpenEncoder();
    if (!lame) {
        return false;
    }
    FILE* file = fopen(path, "wb");
    bool ok = file && EncodeInto(lame, pcm, file);
    if (file && fclose(file) != 0) {
        ok = false;
    }
    lame_close(lame);
    if (!ok) {
        remove(path);
    }
    return ok;
}
