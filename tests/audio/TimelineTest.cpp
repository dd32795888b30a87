#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "RecordingWriter.h"
#include "audio/Timeline.h"

namespace {

struct CArrival {
    int64_t nUs;
    int nSide;
    uint32_t nStream;
    int16_t nValue;
};

// Plays arrivals on a fake clock, taking what is ready every 10 ms, and returns
// the first sample of each side for every tick written: (mic, remote) per tick.
std::vector<std::pair<int, int>> Play(CTimeline& timeline, std::vector<CArrival> arrivals, bool bStereo = true) {
    std::stable_sort(arrivals.begin(), arrivals.end(), [](const CArrival& a, const CArrival& b) { return a.nUs < b.nUs; });
    std::vector<std::pair<int, int>> ticks;
    static int16_t out[TIMELINE_TAKE_MAX_TICKS * 320];
    auto take = [&](int64_t nNowUs, bool bDrain) {
        for (;;) {
            int n = timeline.Take(nNowUs, bDrain, bStereo, out, TIMELINE_TAKE_MAX_TICKS);
            if (n == 0) return;
            for (int t = 0; t < n; ++t)
                ticks.emplace_back(out[t * 160 * (bStereo ? 2 : 1)], bStereo ? out[t * 320 + 1] : 0);
        }
    };
    size_t i = 0;
    int64_t nEnd = arrivals.empty() ? 0 : arrivals.back().nUs;
    for (int64_t nUs = 0; nUs < nEnd + 1000; nUs += 1000) {
        for (; i < arrivals.size() && arrivals[i].nUs <= nUs; ++i) {
            std::vector<uint8_t> block = FlatBlock(arrivals[i].nValue);
            timeline.AddBlock(arrivals[i].nSide, arrivals[i].nStream, block.data(), nUs);
        }
        if (nUs % TIMELINE_TICK_US == 0) take(nUs, false);
    }
    take(nEnd, true);
    return ticks;
}

}  // namespace

// My side from the start with a 500 ms stall; the remote side 1 s late, its blocks held
// up to 150 ms and then let through in a burst (the first one too). Every block lands
// on the tick it was sent for.
TEST(Timeline, LateStartStallAndJitterKeepBothSidesOnTheirTicks) {
    CTimeline timeline;
    std::vector<CArrival> arrivals;
    for (int t = 0; t < 400; ++t) {
        int64_t nDue = t * TIMELINE_TICK_US + 3000;
        if (t < 200 || t >= 250) arrivals.push_back({nDue, TIMELINE_MIC, 7, static_cast<int16_t>(1000 + t)});
        if (t >= 100) arrivals.push_back({nDue + (15 - t % 16) * 10000, TIMELINE_REMOTE, 9, static_cast<int16_t>(-1000 - t)});
    }
    auto ticks = Play(timeline, arrivals);
    ASSERT_EQ(ticks.size(), 400u);
    for (int t = 0; t < 400; ++t) {
        EXPECT_EQ(ticks[t].first, t >= 200 && t < 250 ? 0 : 1000 + t) << t;
        EXPECT_EQ(ticks[t].second, t < 100 ? 0 : -1000 - t) << t;
    }
    EXPECT_EQ(timeline.GetBlocks(TIMELINE_MIC), 350u);
    EXPECT_EQ(timeline.GetDropped(TIMELINE_MIC) + timeline.GetDropped(TIMELINE_REMOTE), 0u);
}

// Two calls: my microphone twice in lockstep stays as it is, the two remote voices
// are averaged; in mono the sides are summed and clamped.
TEST(Timeline, ConferenceStreamsAreAveragedNotInterleaved) {
    for (bool bStereo : {true, false}) {
        CTimeline timeline;
        std::vector<CArrival> arrivals;
        for (int t = 0; t < 300; ++t) {
            int64_t nDue = t * TIMELINE_TICK_US + 5000;
            arrivals.push_back({nDue, TIMELINE_MIC, 1, 20000});
            arrivals.push_back({nDue, TIMELINE_REMOTE, 2, 3000});
            if (t >= 100 && t < 200) {
                arrivals.push_back({nDue + 300, TIMELINE_MIC, 3, 20000});
                arrivals.push_back({nDue + 300, TIMELINE_REMOTE, 4, 1000});
            }
        }
        auto ticks = Play(timeline, arrivals, bStereo);
        ASSERT_EQ(ticks.size(), 300u);  // not stretched
        for (int t = 0; t < 300; ++t) {
            int nRemote = t >= 100 && t < 200 ? 2000 : 3000;
            if (bStereo)
                EXPECT_EQ(ticks[t], std::make_pair(20000, nRemote)) << t;
            else
                EXPECT_EQ(ticks[t].first, std::min(32767, 20000 + nRemote)) << t;
        }
    }
}

// My microphone in two calls. One early block of the second call pulls that
// call back a tick; its copy in the first call comes on time. The copies stay
// lined up by their content all the same, and my side carries each block once,
// never the average of two neighbours.
TEST(Timeline, CopiesOfOneSignalStayLinedUpWhenTheirArrivalsDiffer) {
    CTimeline timeline;
    static int16_t out[TIMELINE_TAKE_MAX_TICKS * 320];
    std::vector<int> mic;
    std::vector<uint8_t> block(320);
    for (int k = 0; k < 300; ++k) {
        for (int i = 0; i < 160; ++i) {
            int16_t v = static_cast<int16_t>(k * 100 + i);
            std::memcpy(&block[2 * i], &v, 2);
        }
        const int64_t nDue = k * TIMELINE_TICK_US;
        timeline.AddBlock(TIMELINE_MIC, 1, block.data(), nDue + 9500);
        if (k >= 100) timeline.AddBlock(TIMELINE_MIC, 2, block.data(), nDue + (k == 110 ? -500 : 9800));
        for (int n; (n = timeline.Take(nDue + 10000, k == 299, true, out, TIMELINE_TAKE_MAX_TICKS)) > 0;)
            for (int t = 0; t < n; ++t) mic.push_back(out[t * 320]);
    }
    ASSERT_EQ(mic.size(), 300u);
    for (int t = 0; t < 300; ++t) EXPECT_EQ(mic[t], t * 100) << t;
}

// A sender a hundred times faster than the clock is written whole and at once,
// nothing padded: both sides, and one side alone without holding memory.
TEST(Timeline, FasterThanTheClockIsWrittenWholeAsItComes) {
    CTimeline timeline;
    std::vector<CArrival> arrivals;
    for (int i = 0; i < 3000; ++i) {
        arrivals.push_back({i * 100, TIMELINE_MIC, 1, static_cast<int16_t>(i)});
        arrivals.push_back({i * 100 + 50, TIMELINE_REMOTE, 2, static_cast<int16_t>(-i)});
    }
    auto ticks = Play(timeline, arrivals);
    ASSERT_EQ(ticks.size(), 3000u);
    for (int i = 0; i < 3000; ++i) ASSERT_EQ(ticks[i], std::make_pair(i, -i)) << i;

    CTimeline oneSide;
    static int16_t out[TIMELINE_TAKE_MAX_TICKS * 320];
    std::vector<uint8_t> block = FlatBlock(5);
    int nWritten = 0;
    for (int i = 0; i < 100000; ++i) {
        oneSide.AddBlock(TIMELINE_MIC, 1, block.data(), i * 100);
        if (i % 100 == 99) nWritten += oneSide.Take(i * 100, false, true, out, TIMELINE_TAKE_MAX_TICKS);
    }
    EXPECT_GE(nWritten, 100000 - 2 * TIMELINE_TAKE_MAX_TICKS);
    EXPECT_LT(oneSide.GetPoolBlocks(), 2 * 1024u + 200u);  // nothing piled up
}

// Memory stays bounded: a fast stream beside a slow one moves the timeline on, and
// more connections than a side follows are dropped, not kept.
TEST(Timeline, QueuesAndStreamsAreBounded) {
    CTimeline timeline;
    static int16_t out[TIMELINE_TAKE_MAX_TICKS * 320];
    std::vector<uint8_t> block = FlatBlock(1);
    for (int i = 0; i < 30000; ++i) {
        int64_t nUs = i * 1000;
        timeline.AddBlock(TIMELINE_MIC, 1, block.data(), nUs);  // ten times the clock
        if (i % 10 == 0) timeline.AddBlock(TIMELINE_REMOTE, 2, block.data(), nUs);
        if (i % 10 == 0) timeline.Take(nUs, false, true, out, TIMELINE_TAKE_MAX_TICKS);
    }
    EXPECT_LT(timeline.GetPoolBlocks(), TIMELINE_SIDE_QUEUE_HARD_MAX + 3000u);
    for (uint32_t n = 100; n < 100 + TIMELINE_MAX_STREAMS + 10; ++n) timeline.AddBlock(TIMELINE_REMOTE, n, block.data(), 30000000);
    EXPECT_GE(timeline.GetDropped(TIMELINE_REMOTE), 10u);
}
