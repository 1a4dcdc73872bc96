// The video output: raw RGB frames and the mixed audio piped to an ffmpeg
// child that encodes and muxes them.
#pragma once

#include <cstdint>
#include <string>

#include "render_options.h"
#include "render_outputs.h"
#include "render_timeline.h"

// True when an ffmpeg program is on PATH.
bool FfmpegAvailable();
// Starts ffmpeg writing options.outPath (.mp4 or .mkv): H.264 (BT.709,
// limited range) with the chosen quality, preset and pixel format and AAC or
// FLAC; with lossless set, lossless H.264 (RGB) with FLAC (.mkv) or ALAC
// (.mp4). `metadata` is an ffmetadata text (title, settings, chapters).
bool StartFfmpeg(const RenderOptions& options, const std::string& metadata);
// The ffmetadata text of a capture: title, the render settings, and a
// chapter for the intro and each scene (and the end step) from output
// time `first` to `end`, in seconds.
std::string MakeCaptureMetadata(const RenderOptions& options, double first, double end);
bool QueueFfmpegAudio(const int16_t* samples, int64_t frames);
// Queues one frame; waits only when several frames are already waiting, so
// audio always runs ahead of the video ffmpeg is reading.
bool QueueFfmpegVideo(const Picture& picture);
// Sends what is queued, closes the pipes and waits; true when ffmpeg succeeded.
bool FinishFfmpeg();
