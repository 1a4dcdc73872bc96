// The video output: raw RGB frames and the mixed audio piped to an ffmpeg
// child that encodes and muxes them.
#pragma once

#include <cstdint>
#include <string>

#include "render_outputs.h"
#include "render_timeline.h"

// True when an ffmpeg program is on PATH.
bool FfmpegAvailable();
// Starts ffmpeg writing `path` (.mp4 or .mkv): H.264 + AAC, or with lossless
// set, lossless H.264 (RGB) with FLAC (.mkv) or ALAC (.mp4).
bool StartFfmpeg(const std::string& path, int width, int height, const FrameRate& rate,
                 bool lossless);
bool QueueFfmpegAudio(const int16_t* samples, int64_t frames);
// Queues one frame; waits only when several frames are already waiting, so
// audio always runs ahead of the video ffmpeg is reading.
bool QueueFfmpegVideo(const Picture& picture);
// Sends what is queued, closes the pipes and waits; true when ffmpeg succeeded.
bool FinishFfmpeg();
