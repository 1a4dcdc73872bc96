// Music clock: byte positions to seconds and beats, beats back to bytes.
#include <gtest/gtest.h>

#include "platform/audio_output.h"
#include "resources/audio.h"
#include "resources/music_clock.h"
#include "frame/timeline.h"

namespace {

// A silent soundtrack on the offline output, so positions are set exactly.
class MusicClockTest : public ::testing::Test {
   protected:
    void SetUp() override {
        AudioUseOfflineOutput();
        AudioInit(44100);
        musicSample = AudioSampleLoad("data/no-such-soundtrack.mp3");
        musicChannel = AudioSampleGetChannel(musicSample);
        AudioSampleGetInfo(musicSample, &musicInfo);
    }
    void TearDown() override {
        AudioFree();
        musicSample = musicChannel = 0;
        musicInfo = AudioSampleInfo();
    }
};

TEST_F(MusicClockTest, BytePositionGivesSecondsAndSceneBeats) {
    ASSERT_TRUE(AudioChannelSetPosition(musicSample, 1764000));
    float seconds = GetMusicSeconds();
    EXPECT_FLOAT_EQ(seconds, 10.0f);
    EXPECT_NEAR(seconds / CounterUnitSeconds - 34.0f, -23.58333f, 1e-4f);
    musicInfo.chans = 1;  // mono at the same byte position
    EXPECT_FLOAT_EQ(GetMusicSeconds(), 20.0f);
}

TEST_F(MusicClockTest, PositionsBeyondFourGigabytesStayUnsignedAndExact) {
    uint64_t bytes = 44100ull * 4 * 30000;  // 30000 s
    ASSERT_TRUE(AudioChannelSetPosition(musicSample, bytes));
    EXPECT_FLOAT_EQ(GetMusicSeconds(), 30000.0f);
}

TEST_F(MusicClockTest, BeatsConvertToBytesAndBack) {
    EXPECT_EQ(MusicBytesForBeat(0.0f), 0u);
    // 34 beats, about 16.3 s. Scene 1's offset is 34 counter units, and the
    // counters run at half the beat rate: it starts at about 32.6 s.
    uint64_t bytes = MusicBytesForBeat(34.0f);
    EXPECT_NEAR(static_cast<double>(bytes), 34 / 2.0833333 * 176400, 1.0);
    ASSERT_TRUE(AudioChannelSetPosition(musicSample, bytes));
    EXPECT_NEAR(GetMusicSeconds() / CounterUnitSeconds, 17.0f, 1e-3f);  // 34 beats
    EXPECT_EQ(MusicBytesForBeat(-1.0f), 0u);
}

}  // namespace
