#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
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
        if (k >= 100) timeline.AddBlock(TIMELINE_MIC, 2, block.data(), nDue + (k == 110 ? -2500 : 9800));
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

namespace {

// A sender on a clock of its own: block k is due nStartUs + k * 10 ms / (1 + ppm).
// It sends at random moments up to nJitterUs apart, all blocks due by then, and a
// hold-up keeps the blocks due in it back to its end, then lets them through one
// per millisecond.
struct CSender {
    int nSide;
    uint32_t nStream;
    double dPpm;
    int64_t nStartUs;
    int64_t nBlocks;
    int64_t nJitterUs;
    std::function<int16_t(int64_t)> sample;  // by the sender's own sample count
    int64_t nHoldUs = 0;
    int64_t nHoldForUs = 0;
    double DueUs(double dSample) const { return nStartUs + dSample * 62.5 / (1 + dPpm * 1e-6); }
};

// Plays the senders on a fake clock, taking what is ready every 200 ms as the
// recorder does, and hands every frame written to onFrame(its time in us, mic, remote).
void PlaySenders(CTimeline& timeline, const std::vector<CSender>& senders, uint32_t nSeed,
                 const std::function<void(double, int16_t, int16_t)>& onFrame) {
    struct CArrivalOf {
        int64_t nUs;
        size_t nSender;
        int64_t nBlock;
    };
    std::vector<CArrivalOf> arrivals;
    std::mt19937 rng(nSeed);
    for (size_t i = 0; i < senders.size(); ++i) {
        const CSender& s = senders[i];
        std::uniform_int_distribution<int64_t> pause(1000, s.nJitterUs);
        int64_t nPrevUs = 0;
        int64_t nReleaseUs = s.nStartUs;
        for (int64_t k = 0; k < s.nBlocks; ++k) {
            const int64_t nDueUs = std::llround(s.DueUs(k * 160.0));
            while (nReleaseUs < nDueUs) nReleaseUs = s.nJitterUs > 0 ? nReleaseUs + pause(rng) : nDueUs;
            int64_t nUs = std::max(nReleaseUs, nPrevUs);
            if (nDueUs >= s.nHoldUs && nDueUs < s.nHoldUs + s.nHoldForUs)
                nUs = std::max(s.nHoldUs + s.nHoldForUs, nPrevUs + 1000);
            arrivals.push_back({nUs, i, k});
            nPrevUs = nUs;
        }
    }
    std::stable_sort(arrivals.begin(), arrivals.end(),
                     [](const CArrivalOf& a, const CArrivalOf& b) { return a.nUs < b.nUs; });
    const double dFirstTickUs = static_cast<double>(arrivals.front().nUs / TIMELINE_TICK_US * TIMELINE_TICK_US);
    static int16_t out[TIMELINE_TAKE_MAX_TICKS * 320];
    int64_t nWritten = 0;
    auto take = [&](int64_t nNowUs, bool bDrain) {
        for (int n; (n = timeline.Take(nNowUs, bDrain, true, out, TIMELINE_TAKE_MAX_TICKS)) > 0;)
            for (int i = 0; i < n * 160; ++i, ++nWritten)
                onFrame(dFirstTickUs + nWritten * 62.5, out[2 * i], out[2 * i + 1]);
    };
    int64_t nNextTakeUs = 0;
    std::vector<uint8_t> block(320);
    for (const CArrivalOf& a : arrivals) {
        for (; nNextTakeUs <= a.nUs; nNextTakeUs += 200000) take(nNextTakeUs, false);
        const CSender& s = senders[a.nSender];
        for (int i = 0; i < 160; ++i) {
            int16_t v = s.sample(a.nBlock * 160 + i);
            std::memcpy(&block[2 * i], &v, 2);
        }
        timeline.AddBlock(s.nSide, s.nStream, block.data(), a.nUs);
    }
    take(arrivals.back().nUs + 1000000, true);
}

// A triangle that counts the sender's own samples: every sample says where in
// its 512 ms period it came from, and it has no edge a slide could smear.
int16_t Triangle(int64_t n) {
    const int64_t m = n % 8192;
    return static_cast<int16_t>(15 * (m < 4096 ? m : 8192 - m) - 30720);
}

// What one side's frames say about a sender: how far each sample lies from the
// time its block was due, the longest run of inserted silence, and steps larger
// than the triangle's own (a dropped or repeated sample without a slide, a jump).
struct CSideCheck {
    const CSender* pSender;
    double dFromUs;      // the first seconds are for the fit
    double dSkipFromUs;  // a hold-up and the second after it
    double dSkipToUs;
    double dMaxOffsetMs = 0;
    int nZeroRun = 0;
    int nMaxZeroRun = 0;
    int nClicks = 0;
    int nSlid = 0;  // samples read between two of the sender's (a slide)
    int nPrev = 0;
    bool bPrev = false;

    void Frame(double dUs, int v) {
        const CSender& s = *pSender;
        const double dEndUs = s.DueUs(s.nBlocks * 160.0) - 200000;
        if (dUs < dFromUs || dUs > dEndUs || (dUs >= dSkipFromUs && dUs < dSkipToUs)) {
            bPrev = false;
            return;
        }
        nZeroRun = v == 0 ? nZeroRun + 1 : 0;
        nMaxZeroRun = std::max(nMaxZeroRun, nZeroRun);
        if (bPrev && std::abs(v - nPrev) > 22) ++nClicks;
        nPrev = v;
        bPrev = true;
        if ((v + 30720) % 15 != 0) ++nSlid;
        if (v == 0) return;
        // The sample this value belongs to, the one of its period nearest the clock's guess.
        const double dExpected = (dUs - s.nStartUs) * (1 + s.dPpm * 1e-6) / 62.5;
        const double dUp = (v + 30720) / 15.0;
        const double dUpSample = dExpected + std::remainder(dUp - dExpected, 8192.0);
        const double dDownSample = dExpected + std::remainder(8192 - dUp - dExpected, 8192.0);
        const bool bUp = std::fabs(dUpSample - dExpected) < std::fabs(dDownSample - dExpected);
        const double dSample = bUp ? dUpSample : dDownSample;
        dMaxOffsetMs = std::max(dMaxOffsetMs, std::fabs(dUs - s.DueUs(dSample)) / 1000);
    }
};

}  // namespace

// Each side on a clock of its own: an hour at +300 and -300 ppm, a minute at
// +3,000 and -3,000 ppm with a 1 s and a 3 s hold-up let through in a burst, all
// with up to 200 ms of jitter. Every sample stays within 20 ms of when its block
// was due, no silence is put in, no sample steps further than the signal does,
// and the blocks of a hold-up whose time was already written are dropped.
TEST(Timeline, DriftingClocksAndHeldUpBurstsStayOnTheirArrivals) {
    struct CCase {
        const char* pszName;
        double dMicPpm, dRemotePpm;
        int64_t nSeconds;
        int64_t nMicHoldUs, nMicHoldForUs, nRemoteHoldUs, nRemoteHoldForUs;
    };
    const CCase cases[] = {
        {"minute_on_our_clock", 0, 0, 60, 0, 0, 0, 0},
        {"hour_300ppm", 300, -300, 3600, 0, 0, 0, 0},
        {"minute_3000ppm", 3000, -3000, 60, 20000000, 1000000, 35000000, 3000000},
    };
    for (const CCase& c : cases) {
        std::vector<CSender> senders = {
            {TIMELINE_MIC, 1, c.dMicPpm, 4000, c.nSeconds * 100, 200000, Triangle, c.nMicHoldUs, c.nMicHoldForUs},
            {TIMELINE_REMOTE, 2, c.dRemotePpm, 7700, c.nSeconds * 100, 200000, Triangle, c.nRemoteHoldUs,
             c.nRemoteHoldForUs},
        };
        // The seconds of a hold-up (from where its first block may lie) and the second after it are left out.
        CSideCheck mic{&senders[0], 5e6, c.nMicHoldUs - 20e3, (c.nMicHoldUs + c.nMicHoldForUs) + 1e6};
        CSideCheck remote{&senders[1], 5e6, c.nRemoteHoldUs - 20e3, (c.nRemoteHoldUs + c.nRemoteHoldForUs) + 1e6};
        CTimeline timeline;
        PlaySenders(timeline, senders, 17, [&](double dUs, int16_t m, int16_t r) {
            mic.Frame(dUs, m);
            remote.Frame(dUs, r);
        });
        std::printf("%s: offset ms mic %.1f remote %.1f, dropped blocks mic %llu remote %llu, slid samples %d %d\n",
                    c.pszName, mic.dMaxOffsetMs, remote.dMaxOffsetMs,
                    static_cast<unsigned long long>(timeline.GetDropped(TIMELINE_MIC)),
                    static_cast<unsigned long long>(timeline.GetDropped(TIMELINE_REMOTE)), mic.nSlid, remote.nSlid);
        EXPECT_LT(mic.dMaxOffsetMs, 20) << c.pszName;
        EXPECT_LT(remote.dMaxOffsetMs, 20) << c.pszName;
        EXPECT_EQ(mic.nClicks + remote.nClicks, 0) << c.pszName;
        EXPECT_LT(std::max(mic.nMaxZeroRun, remote.nMaxZeroRun), 2) << c.pszName;
        if (c.dMicPpm == 0) {
            EXPECT_EQ(mic.nSlid + remote.nSlid, 0) << "a clock like ours is copied sample for sample";
        }
        if (c.nMicHoldForUs == 0) {
            EXPECT_EQ(timeline.GetDropped(TIMELINE_MIC) + timeline.GetDropped(TIMELINE_REMOTE), 0u) << c.pszName;
        } else {
            // What was held up longer than the mixer waits (0.3 s plus a take) is dropped, the rest placed.
            EXPECT_NEAR(static_cast<double>(timeline.GetDropped(TIMELINE_MIC)), 70, 15);
            EXPECT_NEAR(static_cast<double>(timeline.GetDropped(TIMELINE_REMOTE)), 270, 15);
        }
    }
}

// My microphone in two calls, the second copy scaled by 0.9 and 3 to 10 ms behind,
// at several phases against the ticks; the first call ends while the second goes
// on. My side keeps the level of one copy (no comb of two copies a few ms apart),
// moves to the second copy without a click, and puts in no silence.
TEST(Timeline, CopiesOfMyMicrophoneThatDifferAreOneVoice) {
    const double dPi = std::acos(-1.0);
    const double dOwnStep = 10000 * 2 * dPi * 440 / 16000;  // the tone's largest step
    double dWorstDb = 0;
    for (int64_t nPhaseUs : {0, 2500, 5000, 7500}) {
        for (int64_t nBehindUs : {3000, 6000, 10000}) {
            auto tone = [dPi](double dScale, int64_t nFrom) {
                return std::function<int16_t(int64_t)>([=](int64_t n) {
                    const double dAt = 2 * dPi * 440 * static_cast<double>(n + nFrom) / 16000;
                    return static_cast<int16_t>(std::lround(dScale * 10000 * std::sin(dAt)));
                });
            };
            std::vector<CSender> senders = {
                {TIMELINE_MIC, 1, 0.0, nPhaseUs, 300, 0, tone(1.0, 0)},
                {TIMELINE_MIC, 2, 0.0, 1000000 + nPhaseUs + nBehindUs, 300, 0, tone(0.9, 100 * 160)},
            };
            double dEnergy[3] = {0, 0, 0};
            int nCount[3] = {0, 0, 0};
            double dMaxStep = 0;
            int nZeroRun = 0;
            int nMaxZeroRun = 0;
            int nPrev = 0;
            CTimeline timeline;
            PlaySenders(timeline, senders, 5, [&](double dUs, int16_t m, int16_t) {
                // One copy, two copies, the second copy alone.
                auto in = [dUs](double dFrom, double dTo) { return dUs >= dFrom && dUs < dTo; };
                const int nSpan = in(200e3, 900e3) ? 0 : in(1200e3, 2800e3) ? 1 : in(3200e3, 3900e3) ? 2 : -1;
                if (nSpan >= 0) {
                    dEnergy[nSpan] += static_cast<double>(m) * m;
                    ++nCount[nSpan];
                }
                if (dUs >= 100e3 && dUs < 3950e3) {
                    nZeroRun = m == 0 ? nZeroRun + 1 : 0;
                    nMaxZeroRun = std::max(nMaxZeroRun, nZeroRun);
                    dMaxStep = std::max(dMaxStep, std::fabs(static_cast<double>(m - nPrev)));
                }
                nPrev = m;
            });
            auto db = [&](int i) { return 10 * std::log10(dEnergy[i] / nCount[i]); };
            const double dTwoCopiesDb = db(1) - db(0);
            dWorstDb = std::max(dWorstDb, std::fabs(dTwoCopiesDb));
            EXPECT_LT(std::fabs(dTwoCopiesDb), 1.0) << nPhaseUs << " " << nBehindUs;
            EXPECT_NEAR(db(2) - db(0), 20 * std::log10(0.9), 0.2) << nPhaseUs << " " << nBehindUs;
            EXPECT_LT(dMaxStep, 1.5 * dOwnStep) << nPhaseUs << " " << nBehindUs;
            EXPECT_LT(nMaxZeroRun, 2) << nPhaseUs << " " << nBehindUs;
        }
    }
    std::printf("my side with two copies against one: worst %.2f dB\n", dWorstDb);
}
