// Virtual time of the headless renderer: slots, clock readings and audio.
#include "render_timeline.h"

#include <cmath>

int64_t SlotTicks(const FrameRate& rate, int64_t slot) {
    return slot * rate.den * 1000;
}

double SlotSeconds(const FrameRate& rate, int64_t slot) {
    return static_cast<double>(slot) * rate.den / rate.num;
}

int64_t SlotFirstSample(const FrameRate& rate, int64_t slot) {
    return TicksToSamples(rate, SlotTicks(rate, slot));
}

int64_t TicksToSamples(const FrameRate& rate, int64_t ticks) {
    // 128-bit so long renders at large denominators cannot overflow.
    __int128 scaled = static_cast<__int128>(ticks) * RenderAudioRate;
    return static_cast<int64_t>(scaled / (1000 * rate.num));
}

int64_t SlotAtOrAfter(const FrameRate& rate, double seconds) {
    // A hair of tolerance so 16 s at 10 fps is slot 160, not 161.
    double exact = seconds * static_cast<double>(rate.num) / static_cast<double>(rate.den);
    int64_t slot = static_cast<int64_t>(std::ceil(exact - 1e-9));
    return slot < 0 ? 0 : slot;
}

uint32_t TimelineMilliseconds(const RenderTimeline& timeline) {
    return static_cast<uint32_t>(timeline.ticks / timeline.rate.num);
}

void AdvanceTimeline(RenderTimeline& timeline, int64_t ticks, const TimelineSinks& sinks) {
    if (ticks <= timeline.ticks)
        return;
    // Slots first: a slot's picture and the music position it reports
    // belong to its own instant, not to the end of the step.
    while (SlotTicks(timeline.rate, timeline.nextSlot) < ticks) sinks.emitSlot(timeline.nextSlot++);
    timeline.ticks = ticks;
    int64_t samples = TicksToSamples(timeline.rate, ticks);
    if (samples > timeline.samplesPulled) {
        sinks.pullAudio(timeline.samplesPulled, samples - timeline.samplesPulled);
        timeline.samplesPulled = samples;
    }
}

uint32_t ReadTimelineClock(RenderTimeline& timeline, const TimelineSinks& sinks) {
    if (timeline.loadingClock && !timeline.presentSinceRead)
        AdvanceTimeline(timeline, timeline.ticks + timeline.rate.num, sinks);
    timeline.presentSinceRead = false;
    return TimelineMilliseconds(timeline);
}

void PresentOnTimeline(RenderTimeline& timeline, const TimelineSinks& sinks) {
    timeline.presentSinceRead = true;
    int64_t frame = SlotTicks(timeline.rate, 1);
    int64_t next = (timeline.ticks / frame + 1) * frame;
    AdvanceTimeline(timeline, next, sinks);
}
