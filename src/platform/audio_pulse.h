// The sound server (PulseAudio, or PipeWire through its PulseAudio layer) as
// the audio layer's output, with SDL's device as the fallback.
#pragma once

// Makes the audio layer play through the sound server at its next init: a
// stream whose latency the server counts itself, opened again when the
// server comes back after going away. When no server answers, or when
// SDL_AUDIODRIVER names a driver other than the server's, SDL's output
// (UseSdlAudioOutput) is opened instead. Call before AudioInit.
void UseSoundServerOutput();

// ---- Dating a server's stream (no libpulse: the tests drive it) ----------
// When the stream's first byte is heard, as the server's last timing reports
// say (a ring, the newest at next - 1). Each report is a moment's view; the
// median of the last ones dates a write, so one report taken late moves it
// by little. Whatever shifts what the server holds against the stream (an
// underrun, a move to another sink, a change of PipeWire's cycle, a stall
// that ends on the same stream) drops them all: the ones after say how it is.
const int ServerReports = 31;
const int ServerRequestsKept = 3;
// A stream whose server has not asked for audio this long stalled: when the
// asking resumes the reports are dropped. One not asked for QuietSeconds is
// given up and opened again (the watchdog).
const double StallGapSeconds = 0.3;
const double QuietSeconds = 2.0;

struct ServerDating {
    double starts[ServerReports] = {};
    int count = 0;
    int next = 0;
    double freshFrom = -1e300;  // reports made before this are of the stream as it was
    double lastRequest = -1;    // AudioClock of the stream's last request for audio
    // PipeWire's layer asks for one graph cycle at a time: the cycle is the
    // smallest of the last few requests (a request after a late cycle holds
    // two), and its change is a quantum change.
    int requests[ServerRequestsKept] = {};
    int requestCount = 0;
    int requestNext = 0;
    int cycleFrames = 0;
};

void DropServerReports(ServerDating* dating, double now);
// A request of `frames` at `now`: a stall's end or (counting cycles, on
// PipeWire) a new cycle drops the reports.
void NoteServerRequest(ServerDating* dating, int frames, double now, bool countCycles);
// A report made at `madeAt` saying the first byte is heard at `start`. On
// PipeWire the layer counts a cycle as played when the cycle takes it, a
// cycle before it sounds, and the read position it reports moves a cycle at
// a time (a report is half a cycle old on average): a cycle and a half of
// the report's own cycle is added.
void TakeServerReport(ServerDating* dating, double madeAt, double start, int freq,
                      bool countCycles);
// Seconds from `now` until the byte `writeSeconds` into the stream is
// heard; false while there is no fresh report.
bool DateServerWrite(const ServerDating& dating, double writeSeconds, double now, double* queued);
