// Writes MP3 files with libmp3lame, for tests and benchmarks that need sound,
// and decodes them with mpg123 alone (gapless), as a reference.
#pragma once

#include <lame/lame.h>
#include <mpg123.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Encodes interleaved 16-bit pcm (1 or 2 channels) at 192 kbps with the LAME
// tag, as the data generator does, so decoders see its delay and padding.
inline bool WriteTestMp3(const std::string& path, const std::vector<int16_t>& pcm, int rate,
                         int chans) {
    lame_t lame = lame_init();
    lame_set_in_samplerate(lame, rate);
    lame_set_out_samplerate(lame, rate);
    lame_set_num_channels(lame, chans);
    lame_set_mode(lame, chans == 1 ? MONO : JOINT_STEREO);
    lame_set_brate(lame, 192);
    lame_set_bWriteVbrTag(lame, 1);
    lame_set_write_id3tag_automatic(lame, 0);
    lame_init_params(lame);
    int frames = static_cast<int>(pcm.size()) / chans;
    std::vector<unsigned char> mp3(frames * 5 / 4 + 7200 + 65536);
    std::vector<int16_t> left(frames);
    for (int i = 0; i < frames; ++i) left[i] = pcm[static_cast<size_t>(i) * chans];
    int size = chans == 2 ? lame_encode_buffer_interleaved(lame, const_cast<int16_t*>(pcm.data()),
                                                           frames, mp3.data(), mp3.size())
                          : lame_encode_buffer(lame, left.data(), left.data(), frames, mp3.data(),
                                               mp3.size());
    size += lame_encode_flush(lame, mp3.data() + size, mp3.size() - size);
    unsigned char tag[4096];
    size_t tagSize = lame_get_lametag_frame(lame, tag, sizeof tag);
    lame_close(lame);
    std::copy(tag, tag + tagSize, mp3.begin());
    FILE* file = std::fopen(path.c_str(), "wb");
    bool ok = file && std::fwrite(mp3.data(), 1, size, file) == static_cast<size_t>(size);
    if (file)
        std::fclose(file);
    return ok;
}

struct Decoded {
    long rate = 0;
    int channels = 0;
    std::vector<float> samples;  // interleaved
    size_t Frames() const { return channels ? samples.size() / channels : 0; }
};

inline bool Decode(const std::string& path, Decoded* out) {
    mpg123_handle* h = mpg123_new(nullptr, nullptr);
    int encoding = 0;
    bool ok = h && mpg123_param(h, MPG123_ADD_FLAGS, MPG123_GAPLESS, 0.0) == MPG123_OK &&
              mpg123_open(h, path.c_str()) == MPG123_OK &&
              mpg123_getformat(h, &out->rate, &out->channels, &encoding) == MPG123_OK;
    if (ok) {
        mpg123_format_none(h);
        mpg123_format(h, out->rate, out->channels, MPG123_ENC_SIGNED_16);
        short buf[8192];
        size_t got = 0;
        int err;
        while ((err = mpg123_read(h, buf, sizeof buf, &got)) == MPG123_OK ||
               err == MPG123_NEW_FORMAT || got > 0) {
            for (size_t i = 0; i < got / 2; i++) {
                out->samples.push_back(buf[i] / 32768.0f);
            }
            if (err == MPG123_DONE) {
                break;
            }
        }
        ok = err == MPG123_DONE;
    }
    if (h) {
        mpg123_close(h);
        mpg123_delete(h);
    }
    return ok;
}
