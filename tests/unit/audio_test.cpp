// Audio layer: gapless decoding, play and seek behaviour, heard positions on
// hand-driven devices and SDL's dummy and disk drivers, the offline pull, the
// silent stand-in.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "../support/test_mp3.h"
#include "platform/audio_output.h"
#include "platform/audio_pulse.h"
#include "platform/audio_sdl.h"
#include "resources/audio.h"

namespace {

// A cosine tone: loud at its first and last sample, so a decoder that kept
// the encoder's delay or padding shows near-silence there instead.
std::vector<int16_t> MakeTone(int rate, int chans, int frames) {
    std::vector<int16_t> pcm(static_cast<size_t>(frames) * chans);
    for (int i = 0; i < frames; ++i) {
        double v = 0.5 * std::cos(2.0 * M_PI * 441.0 * i / rate);
        for (int c = 0; c < chans; ++c) {
            pcm[static_cast<size_t>(i) * chans + c] = static_cast<int16_t>(v * (c ? 30000 : 32000));
        }
    }
    return pcm;
}

std::string TempPath(const char* name) {
    return std::string(NORVALE_BINARY_DIR) + "/" + name;
}

// Every test starts from a freed layer; the SDL tests choose their driver.
class AudioTest : public ::testing::Test {
   protected:
    void TearDown() override {
        AudioFree();
        UseOfflineAudioOutput();
        unsetenv("SDL_AUDIODRIVER");
    }
    void StartOffline() {
        AudioUseOfflineOutput();
        ASSERT_TRUE(AudioInit(44100));
    }
    void StartSdl(const char* driver) {
        setenv("SDL_AUDIODRIVER", driver, 1);
        UseSdlAudioOutput();
        ASSERT_TRUE(AudioInit(44100));
    }
    AudioHandle LoadTone(const char* name, int rate, int chans, int frames) {
        tone = MakeTone(rate, chans, frames);
        EXPECT_TRUE(WriteTestMp3(TempPath(name), tone, rate, chans));
        return AudioSampleLoad(TempPath(name).c_str());
    }
    std::vector<int16_t> Pull(int frames) {
        std::vector<int16_t> out(static_cast<size_t>(frames) * 2);
        AudioPullMix(out.data(), frames);
        return out;
    }
    std::vector<int16_t> tone;
};

double SecondsOf(AudioHandle handle, const AudioSampleInfo& info) {
    return AudioChannelGetPosition(handle) / (info.freq * info.chans * 2.0);
}

TEST_F(AudioTest, GaplessDecodeKeepsExactLengthAndBothEnds) {
    StartOffline();
    const int frames = 44100 + 1234;
    AudioHandle sample = LoadTone("gapless.mp3", 44100, 2, frames);
    AudioSampleInfo info;
    ASSERT_TRUE(AudioSampleGetInfo(sample, &info));
    EXPECT_EQ(info.freq, 44100u);
    EXPECT_EQ(info.chans, 2u);
    EXPECT_EQ(info.length, static_cast<uint32_t>(frames * 4));

    AudioHandle channel = AudioSampleGetChannel(sample);
    ASSERT_TRUE(AudioChannelPlay(channel, false));
    std::vector<int16_t> out = Pull(frames + 100);
    for (int i : {0, 1, 2 * frames - 2, 2 * frames - 1}) {
        EXPECT_NEAR(out[i], tone[i], 1500) << "sample " << i;
    }
    EXPECT_EQ(out[2 * frames], 0);  // silence after the end, the position going on
    EXPECT_EQ(AudioChannelGetPosition(sample), static_cast<uint64_t>((frames + 100) * 4));
}

TEST_F(AudioTest, OfflinePullAdvancesPositionsExactlyInTheSamplesOwnBytes) {
    StartOffline();
    AudioHandle stereo = LoadTone("pull44.mp3", 44100, 2, 44100);
    AudioHandle mono =
        AudioSampleLoad((WriteTestMp3(TempPath("pull22.mp3"), MakeTone(22050, 1, 22050), 22050, 1),
                         TempPath("pull22.mp3").c_str()));
    AudioChannelPlay(AudioSampleGetChannel(stereo), false);
    AudioChannelPlay(AudioSampleGetChannel(mono), false);
    Pull(1000);
    EXPECT_EQ(AudioChannelGetPosition(stereo), 4000u);
    EXPECT_EQ(AudioChannelGetPosition(mono), 1000u);  // 500 frames at half the rate, 2 bytes
    Pull(333);
    EXPECT_EQ(AudioChannelGetPosition(stereo), 4u * 1333);
    EXPECT_EQ(AudioChannelGetPosition(mono), 2u * (1333 / 2));
}

TEST_F(AudioTest, PlaySeekAndRestartFollowTheSceneEntryRules) {
    StartOffline();
    AudioHandle sample = LoadTone("rules.mp3", 44100, 2, 22050);
    AudioHandle channel = AudioSampleGetChannel(sample);
    EXPECT_EQ(AudioChannelGetPosition(sample), 0u);
    AudioChannelPlay(channel, false);  // a stopped channel starts
    std::vector<int16_t> first = Pull(100);
    Pull(900);
    AudioChannelPlay(channel, false);  // a playing one goes on
    Pull(1000);
    EXPECT_EQ(AudioChannelGetPosition(sample), 2000u * 4);

    AudioChannelSetPosition(sample, 0);  // seeking 0 restarts the sound
    EXPECT_EQ(AudioChannelGetPosition(sample), 0u);
    EXPECT_EQ(Pull(100), first);
    AudioChannelPlay(channel, true);  // restart: from the beginning
    EXPECT_EQ(Pull(100), first);

    // Past the decoded end (a short or damaged file) the position goes on in
    // silence: a play without restart must not take it back to 0.
    Pull(30000);
    EXPECT_EQ(AudioChannelGetPosition(sample), 30100u * 4);
    AudioChannelPlay(channel, false);
    EXPECT_EQ(Pull(100), std::vector<int16_t>(200, 0));
    EXPECT_EQ(AudioChannelGetPosition(sample), 30200u * 4);
    AudioChannelSetPosition(sample, 0);  // Loop's seek still starts it again
    EXPECT_EQ(Pull(100), first);
}

TEST_F(AudioTest, VoicesAddUpAndClipAtFullScale) {
    StartOffline();
    AudioHandle first = LoadTone("loud.mp3", 44100, 2, 4410);
    AudioChannelPlay(AudioSampleGetChannel(first), false);
    for (int i = 0; i < 2; ++i) {
        AudioHandle again = AudioSampleLoad(TempPath("loud.mp3").c_str());
        AudioChannelPlay(AudioSampleGetChannel(again), false);
    }
    std::vector<int16_t> out = Pull(100);  // three tones at half scale: a peak and a trough
    EXPECT_EQ(out[0], 32767);
    EXPECT_EQ(out[1], 32767);
    EXPECT_EQ(out[100], -32768);
    // Sample for sample three times the decoded PCM, clipped: any gain shows
    // where the sum stays below full scale.
    Decoded pcm;
    ASSERT_TRUE(Decode(TempPath("loud.mp3"), &pcm));
    for (size_t i = 0; i < out.size(); ++i)
        ASSERT_EQ(out[i], std::clamp(int(pcm.samples[i] * 98304), -32768, 32767)) << i;
}

TEST_F(AudioTest, StreamPlaysTheSameAudioAsTheWholeDecode) {
    // 16000 Hz is resampled: interpolation across the stream's refills must
    // match the in-memory sample frame for frame.
    for (int rate : {44100, 16000}) {
        std::string path = TempPath("stream.mp3");
        ASSERT_TRUE(WriteTestMp3(path, MakeTone(rate, 2, rate * 3 / 2), rate, 2));
        StartOffline();
        AudioChannelPlay(AudioSampleGetChannel(AudioSampleLoad(path.c_str())), true);
        std::vector<int16_t> whole = Pull(70000);
        AudioFree();
        StartOffline();
        AudioHandle stream = AudioStreamCreateFile(path.c_str());
        ASSERT_NE(stream, 0u);
        AudioChannelPlay(stream, true);
        EXPECT_EQ(Pull(70000), whole) << rate << " Hz";
        AudioChannelPlay(stream, true);  // a restart decodes from the top again
        std::vector<int16_t> again = Pull(5000);
        EXPECT_TRUE(std::equal(again.begin(), again.end(), whole.begin())) << rate << " Hz";
        AudioFree();
    }
    EXPECT_EQ(AudioStreamCreateFile("data/no-such-jingle.mp3"), 0u);
}

TEST_F(AudioTest, MissingSoundtrackIsAnEndlessSilentTimeline) {
    StartOffline();
    AudioHandle sample = AudioSampleLoad("data/no-such-soundtrack.mp3");
    AudioHandle channel = AudioSampleGetChannel(sample);
    AudioSampleInfo info;
    ASSERT_TRUE(AudioSampleGetInfo(sample, &info));
    EXPECT_EQ(info.freq, 44100u);
    EXPECT_EQ(info.chans, 2u);
    AudioChannelPlay(channel, false);
    std::vector<int16_t> out = Pull(44100);
    EXPECT_EQ(out, std::vector<int16_t>(out.size(), 0));
    EXPECT_DOUBLE_EQ(SecondsOf(sample, info), 1.0);
    ASSERT_TRUE(AudioChannelSetPosition(sample, 44100ull * 4 * 3600));  // an hour in
    Pull(44100);
    EXPECT_DOUBLE_EQ(SecondsOf(sample, info), 3601.0);
}

// A device driven by hand: the test calls its mix and sets its clock.
double HandClockNow = 0;
double HandClock() {
    return HandClockNow;
}
AudioMixFunction HandMix = nullptr;
AudioOutputFormat HandFormat;
bool OpenHand(int, int, AudioMixFunction mix, AudioOutputFormat* granted) {
    HandMix = mix;
    *granted = HandFormat;
    return true;
}
void NoLock() {}
void CloseHand() {
    HandMix = nullptr;
}
bool HandLost = false;
bool CheckHandLost() {
    return HandLost;
}
// A sound server's output: it says what it holds, and comes back fresh.
double HandQueued = 0;
double QueuedHand(int) {
    return HandQueued;
}
bool HandFresh = false;
bool FreshHand() {
    bool fresh = HandFresh;
    HandFresh = false;
    HandLost = HandLost && !fresh;  // as the server does: a fresh stream is not lost
    return fresh;
}

class HandDeviceTest : public AudioTest {
   protected:
    void TearDown() override {
        AudioTest::TearDown();
        AudioClock = SteadyAudioClock;
        HandLost = false;
    }
    void StartHand(bool trustedClock, int bufferFrames) {
        HandFormat = AudioOutputFormat{44100, 2, bufferFrames, true, trustedClock};
        HandClockNow = 1000.0;
        AudioClock = HandClock;
        AudioOutput = AudioOutputInterface{OpenHand,      NoLock,  NoLock, CloseHand,
                                           CheckHandLost, nullptr, nullptr};
        ASSERT_TRUE(AudioInit(44100));
    }
    void Mix(int frames) {
        std::vector<int16_t> out(static_cast<size_t>(frames) * 2);
        HandMix(out.data(), frames);
    }
};

// A device that plays nothing may take audio late (an oversleeping thread)
// or early: the heard position runs on the clock from play or seek on.
TEST_F(HandDeviceTest, UntrustedDevicePositionFollowsTheClockNotTheMix) {
    StartHand(false, 1024);
    AudioHandle sample = LoadTone("clock.mp3", 44100, 2, 44100);
    AudioHandle channel = AudioSampleGetChannel(sample);
    AudioSampleInfo info;
    AudioSampleGetInfo(sample, &info);
    HandClockNow += 5;  // not played yet: nothing heard
    EXPECT_EQ(AudioChannelGetPosition(sample), 0u);

    AudioChannelPlay(channel, false);
    HandClockNow += 0.25;
    EXPECT_DOUBLE_EQ(SecondsOf(sample, info), 0.25);  // no mix has run at all
    Mix(30000);
    EXPECT_DOUBLE_EQ(SecondsOf(sample, info), 0.25);  // mixing ahead is not hearing
    AudioChannelPlay(channel, false);                 // going on keeps the clock's start
    HandClockNow += 0.25;
    EXPECT_DOUBLE_EQ(SecondsOf(sample, info), 0.5);

    ASSERT_TRUE(AudioChannelSetPosition(sample, 4410u * 4));  // seek back to 0.1 s
    EXPECT_DOUBLE_EQ(SecondsOf(sample, info), 0.1);
    HandClockNow += 0.2;
    EXPECT_NEAR(SecondsOf(sample, info), 0.3, 1.0 / 44100);
    HandClockNow -= 0.1;  // a clock stepping back never takes the position back
    EXPECT_NEAR(SecondsOf(sample, info), 0.3, 1.0 / 44100);

    HandClockNow += 10;  // past the sample's end, mixed or not, the clock runs on
    EXPECT_NEAR(SecondsOf(sample, info), 10.2, 1.0 / 44100);
    Mix(44100);
    AudioChannelPlay(channel, false);
    EXPECT_NEAR(SecondsOf(sample, info), 10.2, 1.0 / 44100);
}

TEST_F(HandDeviceTest, UntrustedDeviceCountsAtTheSourceRateAndSilenceNeverEnds) {
    StartHand(false, 1024);
    AudioHandle mono =
        AudioSampleLoad((WriteTestMp3(TempPath("clock22.mp3"), MakeTone(22050, 1, 22050), 22050, 1),
                         TempPath("clock22.mp3").c_str()));
    AudioHandle silent = AudioSampleLoad("data/no-such-soundtrack.mp3");
    AudioHandle silentChannel = AudioSampleGetChannel(silent);
    ASSERT_TRUE(AudioChannelSetPosition(silent, 44100ull * 4 * 3600));  // stopped: stays put
    HandClockNow += 1;
    EXPECT_EQ(AudioChannelGetPosition(silent), 44100ull * 4 * 3600);
    AudioChannelPlay(AudioSampleGetChannel(mono), false);
    AudioChannelPlay(silentChannel, false);
    HandClockNow += 0.5;
    EXPECT_EQ(AudioChannelGetPosition(mono), 11025u * 2);
    EXPECT_EQ(AudioChannelGetPosition(silent), 44100ull * 4 * 3600 + 22050 * 4);

    Mix(50000);  // the mixer meets the mono sample's end long before the clock
    AudioChannelPlay(AudioSampleGetChannel(mono), false);  // still heard: goes on
    HandClockNow += 0.25;
    EXPECT_EQ(AudioChannelGetPosition(mono), 16537u * 2);
    HandClockNow += 1;  // and on past its end
    EXPECT_EQ(AudioChannelGetPosition(mono), 38587u * 2);
}

// A real device: the last mix's cursor less the device's buffer, plus the
// time since that mix, and never ahead of what was mixed.
TEST_F(HandDeviceTest, TrustedDeviceInterpolatesFromTheLastMixWithoutRunningAhead) {
    StartHand(true, 1024);
    AudioHandle sample = LoadTone("device.mp3", 44100, 2, 44100);
    AudioChannelPlay(AudioSampleGetChannel(sample), false);
    HandClockNow += 0.5;  // no mix yet: nothing heard while it waits
    EXPECT_EQ(AudioChannelGetPosition(sample), 0u);
    Mix(2048);
    EXPECT_EQ(AudioChannelGetPosition(sample), 1024u * 4);  // the buffer is still ahead
    HandClockNow += 512.0 / 44100;
    EXPECT_NEAR(AudioChannelGetPosition(sample) / 4.0, 1536, 1);
    HandClockNow += 0.5;  // a late callback: the position waits at what was mixed
    EXPECT_EQ(AudioChannelGetPosition(sample), 2048u * 4);
    ASSERT_TRUE(AudioChannelSetPosition(sample, 0));
    EXPECT_EQ(AudioChannelGetPosition(sample), 0u);
}

// A device that goes away (a server gone: SDL still calls the mixer) must
// not stop the timeline: from what was last heard the position runs on the
// clock, through seeks, and it is told once. One that only stalls is not
// lost (the server's output decides that): it waits at what was mixed.
TEST_F(HandDeviceTest, LostDeviceKeepsThePositionRunningAndSaysSoOnceAStalledOneWaits) {
    for (bool stalled : {false, true}) {
        StartHand(true, 1024);
        AudioHandle sample = LoadTone("lost.mp3", 44100, 2, 44100);
        AudioChannelPlay(AudioSampleGetChannel(sample), false);
        testing::internal::CaptureStderr();
        Mix(4096);  // heard up to 3072 when it was mixed
        if (!stalled) {
            HandLost = true;
            HandClockNow += 0.01;
            Mix(1024);
        }
        HandClockNow += 1.5;
        uint64_t expected = stalled ? 4096 : 3072 + 66591;
        EXPECT_NEAR(AudioChannelGetPosition(sample) / 4.0, expected, 1) << "stalled " << stalled;
        if (stalled) {
            EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
            AudioFree();
            continue;
        }
        Mix(50000);  // a mix now and then changes nothing
        ASSERT_TRUE(AudioChannelSetPosition(sample, 0));
        HandClockNow += 0.5;
        EXPECT_NEAR(AudioChannelGetPosition(sample) / 4.0, 22050, 1);
        AudioFree();
        std::string said = testing::internal::GetCapturedStderr();
        size_t first = said.find("lost the sound output");
        EXPECT_NE(first, std::string::npos) << said;
        EXPECT_EQ(said.find("lost the sound output", first + 1), std::string::npos) << said;
        HandLost = false;
    }
}

// A server that counts its own latency: a mix is heard when it says, a seek
// waits for what it holds (the counters set from it wait as well), and a
// server back after a loss plays on from where the clock has got to.
TEST_F(HandDeviceTest, ServerDatesEveryMixAndPlaysOnInStepAfterALoss) {
    HandFormat = AudioOutputFormat{44100, 2, 4096, true, true};
    HandClockNow = 1000.0;
    AudioClock = HandClock;
    AudioOutput = AudioOutputInterface{OpenHand,      NoLock,     NoLock,   CloseHand,
                                       CheckHandLost, QueuedHand, FreshHand};
    ASSERT_TRUE(AudioInit(44100));
    HandQueued = 0.05;
    AudioHandle sample = LoadTone("server.mp3", 44100, 2, 44100 * 4);
    AudioSampleInfo info;
    AudioSampleGetInfo(sample, &info);
    AudioChannelPlay(AudioSampleGetChannel(sample), false);
    Mix(1024);  // its first frame heard 50 ms from now
    EXPECT_EQ(SecondsOf(sample, info), 0.0);
    EXPECT_NEAR(AudioChannelGetWait(sample), 0.05, 1e-9);
    HandClockNow += 0.06;
    EXPECT_NEAR(SecondsOf(sample, info), 0.01, 2.0 / 44100);

    ASSERT_TRUE(AudioChannelSetPosition(sample, 22050u * 4));  // to 0.5 s
    double held = 0.05 + 1024.0 / 44100 - 0.06;                // the rest of that mix
    EXPECT_NEAR(AudioChannelGetWait(sample), held, 1e-9);
    EXPECT_EQ(SecondsOf(sample, info), 0.5);
    HandQueued = held;
    Mix(8192);
    HandClockNow += held + 0.1;
    EXPECT_NEAR(SecondsOf(sample, info), 0.6, 2.0 / 44100);
    EXPECT_EQ(AudioChannelGetWait(sample), 0.0);

    testing::internal::CaptureStderr();
    HandClockNow += 1.0;  // the server hangs: the position waits at what was mixed
    EXPECT_NEAR(SecondsOf(sample, info), 0.5 + 8192.0 / 44100, 2.0 / 44100);
    HandClockNow += 1.0;
    HandLost = true;  // its stream let go: the clock runs on from the last mix
    double lost = SecondsOf(sample, info);
    EXPECT_NEAR(lost, 2.6, 2.0 / 44100);
    HandClockNow += 1.0;
    HandFresh = true;  // back: the mix starts where the clock is when it is heard
    Mix(1024);
    EXPECT_NEAR(SecondsOf(sample, info), lost + 1.0, 2.0 / 44100);
    HandClockNow += held;
    EXPECT_NEAR(SecondsOf(sample, info), lost + 1.0 + held, 2.0 / 44100);
    HandClockNow += 0.5;  // no further mix: it waits at what was mixed
    EXPECT_NEAR(SecondsOf(sample, info), lost + 1.0 + held + 1024.0 / 44100, 2.0 / 44100);
    std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("lost the sound output"), std::string::npos) << said;
    size_t back = said.find("the sound output is back");
    EXPECT_NE(back, std::string::npos) << said;
    EXPECT_EQ(said.find("the sound output is back", back + 1), std::string::npos) << said;
}

// SDL's dummy driver (also the fallback when no driver opens) plays on the
// audio clock, driven here by hand while its thread mixes at its own pace.
TEST_F(HandDeviceTest, DummyDriverPositionFollowsTheAudioClock) {
    HandClockNow = 1000.0;
    AudioClock = HandClock;
    StartSdl("dummy");
    AudioHandle sample = LoadTone("dummy.mp3", 44100, 2, 44100 * 3);
    AudioSampleInfo info;
    AudioSampleGetInfo(sample, &info);
    AudioChannelPlay(AudioSampleGetChannel(sample), false);
    double previous = 0;
    for (int step = 0; step < 100; ++step) {
        HandClockNow += 0.01;
        double now = SecondsOf(sample, info);
        ASSERT_GE(now, previous);  // never backwards
        previous = now;
    }
    EXPECT_NEAR(SecondsOf(sample, info), 1.0, 2.0 / 44100);  // a hundred steps' rounding
}

TEST_F(HandDeviceTest, NoDeviceFallsBackToARealTimeOutput) {
    HandClockNow = 1000.0;
    AudioClock = HandClock;
    StartSdl("no-such-driver");
    AudioHandle sample = AudioSampleLoad("data/no-such-soundtrack.mp3");
    AudioSampleInfo info;
    AudioSampleGetInfo(sample, &info);
    AudioChannelPlay(AudioSampleGetChannel(sample), false);
    HandClockNow += 0.5;
    EXPECT_DOUBLE_EQ(SecondsOf(sample, info), 0.5);
}

// A server's stream dated by synthetic reports: requests of one cycle every
// cycle, each answered by a report saying the stream's start is at `start`.
double DateAfterRequests(ServerDating* dating, double* now, int frames, int count, double start,
                         bool pipeWire) {
    double queued = 0;
    for (int i = 0; i < count; ++i) {
        *now += frames / 44100.0;
        NoteServerRequest(dating, frames, *now, pipeWire);
        TakeServerReport(dating, *now, start + ((i + 1) % 3 - 1) * 0.004, 44100, pipeWire);
    }
    EXPECT_TRUE(DateServerWrite(*dating, 10.0, *now, &queued));
    return queued + *now - 10.0;  // the start the write was dated by
}

// An underrun or a sink move shifts the stream against what the server
// holds: dropped at once, the reports made before it date nothing after it.
// A stall that ends re-dates the same way. On PipeWire a cycle and a half of
// each request's cycle counts; a quantum change re-dates, a late cycle's
// double request does not.
TEST(ServerDatingTest, EveryShiftOfTheStreamIsDatedFromFreshReportsOnly) {
    ServerDating dating;
    double now = 100;
    EXPECT_NEAR(DateAfterRequests(&dating, &now, 1024, 40, 50.0, false), 50.0, 1e-9);
    DropServerReports(&dating, now);  // the underrun (or the move) the server told of
    TakeServerReport(&dating, now - 0.01, 50.0, 44100, false);
    double queued = 0;
    EXPECT_FALSE(DateServerWrite(dating, 10.0, now, &queued));
    EXPECT_NEAR(DateAfterRequests(&dating, &now, 1024, 1, 50.3, false), 50.3, 1e-9);
    now += 0.5;  // the server stopped: its first request after the stall re-dates
    EXPECT_NEAR(DateAfterRequests(&dating, &now, 1024, 1, 50.8, false), 50.8, 1e-9);

    ServerDating pipeWire;
    const double small = 1.5 * 256 / 44100.0, large = 1.5 * 2048 / 44100.0;
    EXPECT_NEAR(DateAfterRequests(&pipeWire, &now, 256, 40, 60.0, true), 60.0 + small, 1e-9);
    EXPECT_NEAR(DateAfterRequests(&pipeWire, &now, 512, 1, 60.0, true), 60.0 + small, 1e-9);
    EXPECT_NEAR(DateAfterRequests(&pipeWire, &now, 2048, 4, 60.1, true), 60.1 + large, 1e-9);
    EXPECT_NEAR(DateAfterRequests(&pipeWire, &now, 2048, 40, 60.1, true), 60.1 + large, 1e-9);
    EXPECT_NEAR(DateAfterRequests(&pipeWire, &now, 256, 1, 60.05, true), 60.05 + small, 1e-9);
}

TEST_F(AudioTest, DiskDriverWritesExactlyTheDecodedSample) {
    std::string path = TempPath("tone_disk.mp3");
    ASSERT_TRUE(WriteTestMp3(path, MakeTone(44100, 2, 30000), 44100, 2));
    StartOffline();
    AudioChannelPlay(AudioSampleGetChannel(AudioSampleLoad(path.c_str())), false);
    std::vector<int16_t> decoded = Pull(30000);
    AudioFree();

    std::string raw = TempPath("disk_out.raw");
    setenv("SDL_DISKAUDIOFILE", raw.c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "0", 1);
    StartSdl("disk");
    AudioHandle sample = AudioSampleLoad(path.c_str());
    AudioChannelPlay(AudioSampleGetChannel(sample), false);
    while (AudioChannelGetPosition(sample) < 30000u * 4) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    AudioFree();

    std::vector<int16_t> written;
    FILE* file = std::fopen(raw.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    int16_t block[4096];
    size_t got = 0;
    while ((got = std::fread(block, sizeof(int16_t), 4096, file)) > 0) {
        written.insert(written.end(), block, block + got);
    }
    std::fclose(file);
    size_t start = 0;  // silence until the channel was played
    while (start < written.size() && written[start] == 0) ++start;
    start -= start % 2;
    ASSERT_GE(written.size(), start + decoded.size());
    ASSERT_NE(decoded[0], 0);
    EXPECT_TRUE(std::equal(decoded.begin(), decoded.end(), written.begin() + start));
    std::remove(raw.c_str());
}

}  // namespace
