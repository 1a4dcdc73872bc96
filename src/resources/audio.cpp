// Our audio layer: MP3 files decoded by libmpg123 (the jingle as it plays,
// the soundtrack whole at load), mixed into the audio output, positions in
// bytes of decoded 16-bit audio as heard. Every failure is silent but one:
// an output lost while playing is told once on stderr, and its return once,
// by the main thread (TellAudioOutputNews).
#include "resources/audio.h"

#include <mpg123.h>
#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "platform/audio_output.h"
#include "resources/data_path.h"

AudioHandle musicSample = 0;
AudioHandle musicChannel = 0;
AudioSampleInfo musicInfo;

namespace {

const int MaxSamples = 4;
const int MaxVoices = 8;
const uint32_t SampleTag = 0x10000;
const uint32_t VoiceTag = 0x20000;
const uint32_t HandleIndexMask = 0xFFFF;
// Stand-in for a soundtrack that cannot be decoded: silence at this format.
const uint32_t SilenceRate = 44100;
const uint32_t SilenceChannels = 2;
// Positions never end (a sample goes on in silence); this bounds seeks so
// that byte positions and the clock's arithmetic cannot overflow.
const uint64_t UnlimitedFrames = UINT64_MAX / 16;
const int StreamWindowFrames = 4096;
const int MixChunkFrames = 512;
// A stream moved far ahead (a server back after an outage during the
// jingle) is decoded up to its place a few windows a mix, silent meanwhile:
// decoding all of it at once would hold the mix lock for tens of ms.
const int RefillsPerMix = 8;

struct FreeDeleter {
    void operator()(int16_t* p) const { std::free(p); }
};
typedef std::unique_ptr<int16_t[], FreeDeleter> PcmBuffer;

// Decoded audio is tens of megabytes written once: huge pages spare most
// of the page faults of filling it.
PcmBuffer AllocatePcm(size_t values) {
    const size_t hugePage = 2 << 20;
    size_t bytes = (values * sizeof(int16_t) + hugePage - 1) / hugePage * hugePage;
    void* memory = nullptr;
    if (posix_memalign(&memory, hugePage, bytes) != 0) {
        return PcmBuffer();
    }
    madvise(memory, bytes, MADV_HUGEPAGE);
    return PcmBuffer(static_cast<int16_t*>(memory));
}

// A sound decoded whole into memory; lives until AudioFree.
struct Sample {
    bool used = false;
    bool silent = false;  // the stand-in silence: no pcm, no frames
    uint32_t freq = 0;
    uint32_t chans = 0;
    PcmBuffer pcm;  // interleaved, frames x chans
    uint64_t frames = 0;
    int voice = -1;  // its one channel, once asked for
};

// An MP3 decoded as it plays. The whole file is fed to the decoder up front
// so the mixing thread never touches the disk; it is kept for rewinding.
struct StreamDecoder {
    mpg123_handle* handle = nullptr;
    std::vector<unsigned char> file;
    std::vector<int16_t> window;  // decoded frames, interleaved
    uint64_t windowStart = 0;     // source frame of window[0]
    uint64_t windowFrames = 0;
    bool ended = false;
};

// A playing thing: a stream or a sample's channel. The cursor is in source
// frames, 32.32 fixed point; the mixer advances it by freq / output freq.
struct Voice {
    bool used = false;
    bool playing = false;
    int sample = -1;  // -1: a stream
    StreamDecoder stream;
    uint32_t freq = 0;
    uint32_t chans = 0;
    uint64_t cursor = 0;
    uint32_t cursorFrac = 0;
    // What has been heard (HeardAt): on a trusted device, the last mix's
    // first frame runs from the time the output said it would be heard; on
    // an untrusted one, the floor plus the time since.
    uint64_t floorFrame = 0;    // where playback last started or was set
    double floorTime = 0;       // AudioClock when it did
    bool floorPlaying = false;  // playing from the floor on: the clock runs
    double anchorFrame = 0;     // source frame at the last mix's start
    double anchorTime = 0;      // AudioClock when that frame is heard
    double cursorAtMix = 0;     // source frame at the last mix's end
    double mixTime = 0;
    bool mixSeen = false;  // a mix has run since the floor was set
    uint64_t lastHeard = 0;
};

// Everything below lives from AudioInit (or the first load) to AudioFree.
Sample Samples[MaxSamples];
Voice Voices[MaxVoices];
AudioOutputInterface ActiveOutput;  // the table opened by AudioInit
AudioOutputFormat OutputFormat;
bool OutputOpen = false;
bool DecoderReady = false;
// The output's thread can mix before its open returns: it mixes silence
// until the granted format is in place. Set under the mix lock.
bool MixReady = false;
double HeardEnd = 0;  // AudioClock when all that was mixed has been heard
// The one loss flag of the layer: the output said it is lost (SDL's device
// stopped, the server's stream let go) and has not come back. Positions
// run on the clock meanwhile.
bool OutputLost = false;
// What the main thread has to tell: set on the output's thread, taken every
// frame without the mix lock (which a message to stderr must not hold).
std::atomic<const char*> LossToTell{nullptr};
std::atomic<bool> ReturnToTell{false};

void LockMix() {
    if (OutputOpen) {
        ActiveOutput.lock();
    }
}

void UnlockMix() {
    if (OutputOpen) {
        ActiveOutput.unlock();
    }
}

void NoteLoss();
void TellOutputNews();

void CloseOutputAtExit() {
    if (OutputOpen) {
        LockMix();
        NoteLoss();
        MixReady = false;
        UnlockMix();
        ActiveOutput.close();
        OutputOpen = false;
    }
    TellOutputNews();
}

bool EnsureDecoder() {
    if (!DecoderReady) {
        DecoderReady = mpg123_init() == MPG123_OK;
    }
    return DecoderReady;
}

// ---- Decoding -------------------------------------------------------------

// A decoder that prints nothing, drops the encoder's delay and padding and
// gives 16-bit samples at the file's own rate and channel count.
mpg123_handle* NewDecoder() {
    if (!EnsureDecoder()) {
        return nullptr;
    }
    mpg123_handle* handle = mpg123_new(nullptr, nullptr);
    if (!handle) {
        return nullptr;
    }
    mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0);
    mpg123_format_none(handle);
    const long* rates = nullptr;
    size_t rateCount = 0;
    mpg123_rates(&rates, &rateCount);
    for (size_t i = 0; i < rateCount; ++i) {
        mpg123_format(handle, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    }
    return handle;
}

bool ReadDecoderFormat(mpg123_handle* handle, uint32_t* freq, uint32_t* chans) {
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (mpg123_getformat(handle, &rate, &channels, &encoding) != MPG123_OK) {
        return false;
    }
    if (rate <= 0 || channels < 1 || channels > 2 || encoding != MPG123_ENC_SIGNED_16) {
        return false;
    }
    *freq = static_cast<uint32_t>(rate);
    *chans = static_cast<uint32_t>(channels);
    return true;
}

// Decodes everything left into the sample; the length the encoder's tag
// gives sizes the buffer once (left uninitialised: the decoder fills it).
void DecodeAll(mpg123_handle* handle, Sample* sample) {
    const size_t slack = 8192;
    off_t known = mpg123_length(handle);
    size_t capacity = known > 0 ? static_cast<size_t>(known) * sample->chans + slack : 1 << 22;
    PcmBuffer pcm = AllocatePcm(capacity);
    size_t filled = 0;
    while (pcm) {
        if (capacity - filled < slack) {
            PcmBuffer larger = AllocatePcm(capacity * 2);
            if (!larger) {
                break;
            }
            std::memcpy(larger.get(), pcm.get(), filled * sizeof(int16_t));
            pcm.swap(larger);
            capacity *= 2;
        }
        size_t done = 0;
        int result = mpg123_read(handle, pcm.get() + filled, (capacity - filled) * 2, &done);
        filled += done / 2;
        if (result != MPG123_NEW_FORMAT && (result != MPG123_OK || done == 0)) {
            break;
        }
    }
    sample->pcm.swap(pcm);
    sample->frames = filled / sample->chans;
}

bool DecodeFile(const char* path, Sample* sample) {
    mpg123_handle* handle = NewDecoder();
    if (!handle) {
        return false;
    }
    FILE* file = OpenDataFile(path, "rb");
    bool decoded = false;
    if (file && mpg123_open_fd(handle, fileno(file)) == MPG123_OK &&
        ReadDecoderFormat(handle, &sample->freq, &sample->chans)) {
        DecodeAll(handle, sample);
        decoded = sample->frames > 0;
    }
    mpg123_close(handle);
    mpg123_delete(handle);
    if (file) {
        std::fclose(file);
        if (!decoded) {
            ReportUnusableFile(path, "not a decodable MP3");
        }
    }
    return decoded;
}

bool ReadWholeFile(const char* path, std::vector<unsigned char>* bytes) {
    FILE* file = OpenDataFile(path, "rb");
    if (!file) {
        return false;
    }
    unsigned char block[65536];
    size_t got = 0;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0) {
        bytes->insert(bytes->end(), block, block + got);
    }
    std::fclose(file);
    return !bytes->empty();
}

// Back to the first frame: the decoder starts over on the file's bytes.
bool RewindStream(StreamDecoder& stream) {
    stream.windowStart = 0;
    stream.windowFrames = 0;
    stream.ended = mpg123_open_feed(stream.handle) != MPG123_OK ||
                   mpg123_feed(stream.handle, stream.file.data(), stream.file.size()) != MPG123_OK;
    return !stream.ended;
}

bool OpenStream(const char* path, Voice* voice) {
    StreamDecoder& stream = voice->stream;
    stream.handle = NewDecoder();
    if (!stream.handle || !ReadWholeFile(path, &stream.file)) {
        return false;
    }
    if (!RewindStream(stream) || !ReadDecoderFormat(stream.handle, &voice->freq, &voice->chans)) {
        ReportUnusableFile(path, "not a decodable MP3");
        return false;
    }
    stream.window.resize(static_cast<size_t>(StreamWindowFrames) * voice->chans);
    return true;
}

// Decodes the next part of a stream, keeping the window's last frame in
// front because interpolation may still need it.
void RefillStream(StreamDecoder& stream, uint32_t chans) {
    uint64_t keep = stream.windowFrames > 0 ? 1 : 0;
    if (keep) {
        std::memmove(stream.window.data(), stream.window.data() + (stream.windowFrames - 1) * chans,
                     chans * sizeof(int16_t));
    }
    stream.windowStart += stream.windowFrames - keep;
    stream.windowFrames = keep;
    size_t room = (StreamWindowFrames - keep) * chans * sizeof(int16_t);
    size_t done = 0;
    int result = mpg123_read(stream.handle, stream.window.data() + keep * chans, room, &done);
    stream.windowFrames += done / (chans * sizeof(int16_t));
    bool formatNote = result == MPG123_NEW_FORMAT;
    if ((result != MPG123_OK && !formatNote) || (done == 0 && !formatNote)) {
        stream.ended = true;
    }
}

void CloseStream(StreamDecoder& stream) {
    if (stream.handle) {
        mpg123_delete(stream.handle);
    }
    stream = StreamDecoder();
}

// ---- Mixing (on the output's thread, or the caller's offline) --------------

// Frame `index` of the voice's source as a stereo pair; false past its end.
bool FetchFrame(Voice& voice, uint64_t index, int32_t* pair) {
    const int16_t* frame = nullptr;
    if (voice.sample >= 0) {
        const Sample& sample = Samples[voice.sample];
        if (index >= sample.frames) {
            return false;
        }
        frame = sample.pcm.get() + index * sample.chans;
    } else {
        StreamDecoder& stream = voice.stream;
        while (index >= stream.windowStart + stream.windowFrames && !stream.ended) {
            RefillStream(stream, voice.chans);
        }
        if (index >= stream.windowStart + stream.windowFrames || index < stream.windowStart) {
            return false;
        }
        frame = stream.window.data() + (index - stream.windowStart) * voice.chans;
    }
    pair[0] = frame[0];
    pair[1] = frame[voice.chans - 1];
    return true;
}

uint64_t StepFor(const Voice& voice) {
    return (static_cast<uint64_t>(voice.freq) << 32) / static_cast<uint64_t>(OutputFormat.freq);
}

void AdvanceCursor(Voice& voice, uint64_t step) {
    uint64_t fraction = static_cast<uint64_t>(voice.cursorFrac) + (step & 0xFFFFFFFFu);
    voice.cursor += (step >> 32) + (fraction >> 32);
    voice.cursorFrac = static_cast<uint32_t>(fraction);
}

void StopAtEnd(Voice& voice, uint64_t end) {
    voice.playing = false;
    voice.cursor = std::min(voice.cursor, end);
    voice.cursorFrac = 0;
}

// Adds `frames` output frames of the voice to acc (stereo); linear
// interpolation between source frames when the rates differ. A stream stops
// at its end; a sample's channel goes on in silence past what was decoded,
// so a short or damaged soundtrack keeps the timeline's pace.
void MixVoice(Voice& voice, int32_t* acc, int frames) {
    uint64_t step = StepFor(voice);
    if (voice.sample < 0) {
        StreamDecoder& stream = voice.stream;
        for (int i = 0;
             i < RefillsPerMix && !stream.ended &&
             voice.cursor >= stream.windowStart + stream.windowFrames + StreamWindowFrames;
             ++i) {
            RefillStream(stream, voice.chans);
        }
        if (!stream.ended &&
            voice.cursor >= stream.windowStart + stream.windowFrames + StreamWindowFrames) {
            for (int n = 0; n < frames; ++n) {
                AdvanceCursor(voice, step);
            }
            return;
        }
    }
    for (int n = 0; n < frames; ++n) {
        int32_t a[2] = {0, 0};
        int32_t b[2];
        if (!FetchFrame(voice, voice.cursor, a)) {
            if (voice.sample < 0) {
                StopAtEnd(voice, voice.cursor);
                return;
            }
            AdvanceCursor(voice, step);
            continue;
        }
        if (voice.cursorFrac != 0 && FetchFrame(voice, voice.cursor + 1, b)) {
            for (int c = 0; c < 2; ++c) {
                a[c] += static_cast<int32_t>(
                    (static_cast<int64_t>(b[c] - a[c]) * voice.cursorFrac) >> 32);
            }
        }
        acc[2 * n] += a[0];
        acc[2 * n + 1] += a[1];
        AdvanceCursor(voice, step);
    }
}

void StoreClamped(const int32_t* acc, int16_t* out, int values) {
    for (int i = 0; i < values; ++i) {
        out[i] = static_cast<int16_t>(std::clamp(acc[i], -32768, 32767));
    }
}

double CursorOf(const Voice& voice) {
    return static_cast<double>(voice.cursor) + voice.cursorFrac / 4294967296.0;
}

void NoteMixed(Voice& voice, double start, double now, double heardAt) {
    voice.anchorFrame = start;
    voice.anchorTime = heardAt;
    voice.cursorAtMix = CursorOf(voice);
    voice.mixTime = now;
    voice.mixSeen = true;
}

void LoseOutput(const char* what);
void RegainOutput(double heardAt);

// Positions run on the clock: an output that plays nothing at a reliable
// pace, or one lost.
bool OnTheClock() {
    return OutputFormat.realTime && (!OutputFormat.trustedClock || OutputLost);
}

// When the first frame of a mix of `frames` starting now is heard: after
// what the output holds, by its own count where it gives one.
double HeardTimeOfMix(double now, int frames) {
    if (ActiveOutput.queued) {
        return now + ActiveOutput.queued(frames);
    }
    return now + (OutputFormat.bufferFrames - frames) / static_cast<double>(OutputFormat.freq);
}

// The output's mix function: interleaved stereo at the output's rate.
void MixAll(int16_t* out, int frames) {
    if (!MixReady) {
        std::memset(out, 0, sizeof(int16_t) * 2 * static_cast<size_t>(frames));
        return;
    }
    NoteLoss();
    double now = AudioClock();
    double heardAt = HeardTimeOfMix(now, frames);
    if (ActiveOutput.fresh && ActiveOutput.fresh()) {
        if (!OutputLost) {
            LoseOutput("the server went away");
        }
        RegainOutput(heardAt);
    }
    bool wasPlaying[MaxVoices];
    double start[MaxVoices];
    for (int i = 0; i < MaxVoices; ++i) {
        wasPlaying[i] = Voices[i].used && Voices[i].playing;
        start[i] = CursorOf(Voices[i]);
    }
    int32_t acc[2 * MixChunkFrames];
    for (int done = 0; done < frames; done += MixChunkFrames) {
        int count = std::min(MixChunkFrames, frames - done);
        std::fill(acc, acc + 2 * count, 0);
        for (int i = 0; i < MaxVoices; ++i) {
            if (Voices[i].used && Voices[i].playing) {
                MixVoice(Voices[i], acc, count);
            }
        }
        StoreClamped(acc, out + 2 * done, 2 * count);
    }
    for (int i = 0; i < MaxVoices; ++i) {
        if (wasPlaying[i]) {
            NoteMixed(Voices[i], start[i], now, heardAt);
        }
    }
    HeardEnd = heardAt + frames / static_cast<double>(OutputFormat.freq);
}

// ---- Handles and positions (main thread) ----------------------------------

Sample* FindSample(AudioHandle handle) {
    uint32_t index = (handle & HandleIndexMask) - 1;
    if ((handle & ~HandleIndexMask) != SampleTag || index >= MaxSamples) {
        return nullptr;
    }
    return Samples[index].used ? &Samples[index] : nullptr;
}

// A voice handle, or a sample handle standing for its channel.
Voice* FindVoice(AudioHandle handle) {
    if (Sample* sample = FindSample(handle)) {
        return sample->voice >= 0 ? &Voices[sample->voice] : nullptr;
    }
    uint32_t index = (handle & HandleIndexMask) - 1;
    if ((handle & ~HandleIndexMask) != VoiceTag || index >= MaxVoices) {
        return nullptr;
    }
    return Voices[index].used ? &Voices[index] : nullptr;
}

int FreeVoiceIndex() {
    for (int i = 0; i < MaxVoices; ++i) {
        if (!Voices[i].used) {
            return i;
        }
    }
    return -1;
}

// Playback (re)starts at `frame` now: nothing from there has been heard yet.
// A stream going back decodes again from its start (forward, the mixer skips).
void SetCursor(Voice& voice, uint64_t frame) {
    if (voice.sample < 0 && frame < voice.stream.windowStart) {
        RewindStream(voice.stream);
    }
    voice.cursor = frame;
    voice.cursorFrac = 0;
    voice.floorFrame = frame;
    voice.floorTime = AudioClock();
    voice.floorPlaying = voice.playing;
    voice.mixSeen = false;
    voice.lastHeard = frame;
}

// A trusted device at time t: from the first frame of the last mix, heard
// when the output said, at the source's rate; never ahead of what has been
// mixed. Before a start or seek is heard (no mix since, or its first frame
// still queued) it is behind the floor by the wait: the caller may use that.
double DeviceHeardAt(const Voice& voice, double t) {
    if (!voice.mixSeen) {
        double wait = voice.floorPlaying ? std::max(0.0, HeardEnd - t) : 0.0;
        return static_cast<double>(voice.floorFrame) - wait * voice.freq;
    }
    double heard = voice.anchorFrame + (t - voice.anchorTime) * voice.freq;
    return std::min(heard, voice.cursorAtMix);
}

// An untrusted device: the time since the floor at the source's rate, up to
// a stream's end once the mixer has met it, whatever was mixed.
uint64_t ClockHeardFrame(const Voice& voice, double t) {
    if (!voice.floorPlaying) {
        return voice.cursor;
    }
    uint64_t end = voice.playing ? UnlimitedFrames : voice.cursor;
    double room = end > voice.floorFrame ? static_cast<double>(end - voice.floorFrame) : 0.0;
    double elapsed = std::max(0.0, t - voice.floorTime) * voice.freq;
    return voice.floorFrame + static_cast<uint64_t>(std::min(elapsed, room));
}

// From now on nothing is heard: every voice runs on the clock from where it
// was last heard, as on a device that plays nothing, so the timeline keeps
// its pace in silence, until the output comes back (RegainOutput).
void LoseOutput(const char* what) {
    if (OutputLost) {
        return;
    }
    OutputLost = true;
    LossToTell = what;
    ReturnToTell = false;
    if (!OutputFormat.realTime || !OutputFormat.trustedClock) {
        return;
    }
    for (Voice& voice : Voices) {
        if (voice.used && voice.mixSeen) {
            // The last mix's first frame, heard when the output said.
            voice.floorFrame = static_cast<uint64_t>(voice.anchorFrame);
            voice.floorTime = voice.anchorTime;
            voice.floorPlaying = true;
        }
    }
}

// An output back after a loss (on its thread, in the mix): every voice goes
// on from where the clock will have brought it when this mix is heard, so
// the sound is in step again at once. Told once.
void RegainOutput(double heardAt) {
    if (!OutputLost || !OutputFormat.trustedClock) {
        return;
    }
    for (Voice& voice : Voices) {
        if (voice.used && voice.floorPlaying && voice.playing) {
            double now = AudioClock();
            uint64_t heardNow = ClockHeardFrame(voice, now);
            uint64_t lastHeard = voice.lastHeard;
            SetCursor(voice, ClockHeardFrame(voice, heardAt));
            // Until this mix is heard the position runs on from where it is.
            voice.floorFrame = heardNow;
            voice.floorTime = now;
            voice.lastHeard = lastHeard;
        }
    }
    OutputLost = false;
    ReturnToTell = true;
}

// The output's word on whether it is lost: asked on its thread at each mix
// and on position reads (a server's stream let go calls no mix). A device
// that only stalls is not lost: its position waits at what was mixed, and
// the server's output re-dates a stalled stream or lets it go.
void NoteLoss() {
    if (!OutputLost && ActiveOutput.lost && ActiveOutput.lost()) {
        LoseOutput("it went away");
    }
}

// Tells what the output's thread noted, on the main thread, outside the
// lock. The return is taken first: a loss noted before it is then seen too.
void TellOutputNews() {
    bool back = ReturnToTell.exchange(false);
    const char* loss = LossToTell.exchange(nullptr);
    if (loss != nullptr) {
        std::fprintf(stderr,
                     "norvale: lost the sound output (%s): %s; the demo goes on without sound\n",
                     OutputFormat.name, loss);
    }
    if (back) {
        std::fprintf(stderr,
                     "norvale: the sound output is back (%s): the demo plays on with sound\n",
                     OutputFormat.name);
    }
}

// The frame being heard now (see Voice). Offline, what was pulled is heard.
uint64_t HeardFrame(Voice& voice) {
    NoteLoss();
    uint64_t heard = voice.cursor;
    if (OnTheClock()) {
        heard = ClockHeardFrame(voice, AudioClock());
    } else if (OutputFormat.realTime) {
        double frame = DeviceHeardAt(voice, AudioClock());
        heard = static_cast<uint64_t>(std::max(frame, static_cast<double>(voice.floorFrame)));
    }
    heard = std::max(heard, voice.lastHeard);
    voice.lastHeard = heard;
    return heard;
}

// Seconds until the voice's floor (its start or seek) is heard: what the
// output still holds before it. 0 once heard, offline and on the clock.
double WaitBeforeFloor(const Voice& voice) {
    if (!OutputFormat.realTime || OnTheClock()) {
        return 0.0;
    }
    double frame = DeviceHeardAt(voice, AudioClock());
    double floor = static_cast<double>(voice.floorFrame);
    return frame < floor ? (floor - frame) / voice.freq : 0.0;
}

// On an untrusted device the mixer may have met the end before the clock
// has: until the clock gets there the channel still counts as playing.
bool EndNotYetHeard(Voice& voice) {
    return OnTheClock() && voice.floorPlaying && !voice.playing && HeardFrame(voice) < voice.cursor;
}

void SetSilentSample(Sample* sample) {
    sample->silent = true;
    sample->freq = SilenceRate;
    sample->chans = SilenceChannels;
    sample->pcm.reset();
    sample->frames = 0;
}

void ResetState() {
    for (Voice& voice : Voices) {
        CloseStream(voice.stream);
        voice = Voice();
    }
    for (Sample& sample : Samples) {
        sample = Sample();
    }
}

}  // namespace

bool AudioInit(int freq) {
    if (OutputOpen) {
        return false;
    }
    // exit() can come at any moment (Alt+F4, a quit during loading, a fatal
    // image error); the output's thread must stop before the sounds it mixes
    // are destroyed with the other statics. Registered after they were built,
    // so it runs before their destructors.
    static bool closeAtExitRegistered = false;
    if (!closeAtExitRegistered) {
        closeAtExitRegistered = std::atexit(CloseOutputAtExit) == 0;
    }
    EnsureDecoder();
    ActiveOutput = AudioOutput;
    OutputFormat = AudioOutputFormat();
    OutputLost = false;
    LossToTell = nullptr;
    ReturnToTell = false;
    MixReady = false;
    HeardEnd = AudioClock();
    AudioOutputFormat granted;
    bool opened = ActiveOutput.open(freq, 2, MixAll, &granted);
    if (!opened) {
        // Nothing to play on: carry on silently with the offline output,
        // which nobody pulls.
        ActiveOutput = OfflineAudioOutput;
        granted = AudioOutputFormat();
        ActiveOutput.open(freq, 2, MixAll, &granted);
    }
    OutputOpen = true;
    LockMix();
    OutputFormat = granted;
    MixReady = true;
    UnlockMix();
    return opened;
}

AudioHandle AudioStreamCreateFile(const char* path) {
    int index = FreeVoiceIndex();
    if (index < 0) {
        return 0;
    }
    Voice voice;
    if (!OpenStream(path, &voice)) {
        CloseStream(voice.stream);
        return 0;
    }
    LockMix();
    Voices[index] = std::move(voice);
    Voices[index].used = true;
    UnlockMix();
    return VoiceTag | static_cast<uint32_t>(index + 1);
}

AudioHandle AudioSampleLoad(const char* path) {
    for (int i = 0; i < MaxSamples; ++i) {
        Sample& sample = Samples[i];
        if (sample.used) {
            continue;
        }
        sample = Sample();
        if (!DecodeFile(path, &sample)) {
            SetSilentSample(&sample);
        }
        sample.used = true;
        return SampleTag | static_cast<uint32_t>(i + 1);
    }
    return 0;
}

AudioHandle AudioSampleGetChannel(AudioHandle handle) {
    Sample* sample = FindSample(handle);
    if (!sample) {
        return 0;
    }
    if (sample->voice < 0) {
        int index = FreeVoiceIndex();
        if (index < 0) {
            return 0;
        }
        Voice voice;
        voice.sample = static_cast<int>(sample - Samples);
        voice.freq = sample->freq;
        voice.chans = sample->chans;
        LockMix();
        Voices[index] = voice;
        Voices[index].used = true;
        sample->voice = index;
        UnlockMix();
    }
    return VoiceTag | static_cast<uint32_t>(sample->voice + 1);
}

bool AudioSampleGetInfo(AudioHandle handle, AudioSampleInfo* info) {
    Sample* sample = FindSample(handle);
    if (!sample || !info) {
        return false;
    }
    info->freq = sample->freq;
    info->chans = sample->chans;
    uint64_t bytes = sample->silent ? UINT32_MAX : sample->frames * sample->chans * 2;
    info->length = static_cast<uint32_t>(std::min<uint64_t>(bytes, UINT32_MAX));
    return true;
}

bool AudioChannelPlay(AudioHandle handle, bool restart) {
    Voice* voice = FindVoice(handle);
    if (!voice) {
        return false;
    }
    LockMix();
    if (!restart && EndNotYetHeard(*voice)) {
        UnlockMix();
        return true;
    }
    bool wasPlaying = voice->playing;
    voice->playing = true;  // before SetCursor: the floor starts a playing run
    if (restart) {
        SetCursor(*voice, 0);
    } else if (!wasPlaying) {
        SetCursor(*voice, voice->cursor);
    }
    UnlockMix();
    return true;
}

bool AudioChannelSetPosition(AudioHandle handle, uint64_t bytes) {
    Voice* voice = FindVoice(handle);
    if (!voice) {
        return false;
    }
    uint64_t frame = bytes / (voice->chans * 2);
    if (frame > UnlimitedFrames) {
        return false;
    }
    LockMix();
    SetCursor(*voice, frame);
    UnlockMix();
    return true;
}

uint64_t AudioChannelGetPosition(AudioHandle handle) {
    Voice* voice = FindVoice(handle);
    if (!voice) {
        // Also for a bad handle: a huge value would be read as a position.
        return 0;
    }
    LockMix();
    uint64_t frame = HeardFrame(*voice);
    UnlockMix();
    TellOutputNews();
    return frame * voice->chans * 2;
}

double AudioChannelGetWait(AudioHandle handle) {
    Voice* voice = FindVoice(handle);
    if (!voice) {
        return 0.0;
    }
    LockMix();
    double wait = WaitBeforeFloor(*voice);
    UnlockMix();
    TellOutputNews();
    return wait;
}

void TellAudioOutputNews() {
    TellOutputNews();
}

void AudioFree() {
    CloseOutputAtExit();
    OutputFormat = AudioOutputFormat();
    ResetState();
}

void AudioUseOfflineOutput() {
    UseOfflineAudioOutput();
}

void AudioPullMix(int16_t* out, int frames) {
    PullOfflineAudio(out, frames);
}
