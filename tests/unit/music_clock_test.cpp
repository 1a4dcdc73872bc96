// Music clock: byte positions to seconds and beats, beats back to bytes,
// and the camera paths' vector interpolation.
#include <gtest/gtest.h>

#include "platform/audio_output.h"
#include "resources/audio.h"
#include "resources/music_clock.h"

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
    EXPECT_NEAR(seconds * 2.0833333f * 0.5f - 34.0f, -23.58333f, 1e-4f);
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
    uint64_t bytes = MusicBytesForBeat(34.0f);  // scene 1's offset, about 16.3 s
    EXPECT_NEAR(static_cast<double>(bytes), 34 / 2.0833333 * 176400, 1.0);
    ASSERT_TRUE(AudioChannelSetPosition(musicSample, bytes));
    EXPECT_NEAR(GetMusicSeconds() * 2.0833333f, 34.0f, 1e-3f);
    EXPECT_EQ(MusicBytesForBeat(-1.0f), 0u);
}

TEST(LerpVec3Test, InterpolatesAndExtrapolatesPerComponent) {
    const float a[3] = {0.0f, 0.0f, 0.0f};
    const float b[3] = {2.0f, 4.0f, -6.0f};
    float out[3];
    EXPECT_EQ(LerpVec3(a, b, out, 0.5f), out);
    EXPECT_EQ(out[0], 1.0f);
    EXPECT_EQ(out[1], 2.0f);
    EXPECT_EQ(out[2], -3.0f);
    LerpVec3(a, b, out, 2.0f);
    EXPECT_EQ(out[0], 4.0f);
    EXPECT_EQ(out[1], 8.0f);
    EXPECT_EQ(out[2], -12.0f);
    const float c[3] = {0.1f, -7.3f, 1e7f};
    LerpVec3(c, b, out, 0.0f);
    EXPECT_EQ(out[0], c[0]);
    EXPECT_EQ(out[1], c[1]);
    EXPECT_EQ(out[2], c[2]);
}

TEST(LerpVec3Test, RoundsEveryStepToSinglePrecision) {
    // Kept in double (or fused), the same formula gives -73.7256699 here.
    const float a[3] = {-62.7479591f, 0.0f, 0.0f};
    const float b[3] = {-22.4178467f, 0.0f, 0.0f};
    float out[3];
    LerpVec3(a, b, out, -0.272196293f);
    EXPECT_EQ(out[0], -73.7256622f);
}

}  // namespace
