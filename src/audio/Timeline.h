#pragma once
// The recording's common timeline, in samples at 16 kHz and mixed out 10 ms
// ticks at a time. Every connection of a side is a stream of its own, placed
// by one model: a stream's sample n goes to timeline sample n + shift, and the
// shift follows the stream's arrivals. Arrivals are only ever late, so the
// lower envelope of arrival minus sample index, per second, tells where the
// stream's clock stands and, over tens of seconds, how fast it runs against
// ours. A clock that drifts is followed one sample at a time, each spread over
// 10 ms so nobody hears it; a stream that stops and goes on leaves a gap of
// silence; a stream that was held up and arrives in a burst is pulled back to
// its time, and what falls on ticks already written is dropped. A sender far
// faster than the clock is not a clock: its blocks just follow one another.
// The remote side is the average of its streams (different people); my side is
// one voice however many calls carry it, taken from one connection at a time.
// Plain logic: the caller gives the time and takes the mixed ticks.
#include <atomic>
#include <cstdint>

#include "audio/BlockQueue.h"
#include "audio/BufferPool.h"
#include "base/Lock.h"

constexpr int TIMELINE_MIC = 0;
constexpr int TIMELINE_REMOTE = 1;
constexpr int64_t TIMELINE_TICK_US = 10000;
constexpr int64_t TIMELINE_TICK_SAMPLES = 160;
// Blocks that arrive this much late neither shift a stream nor leave a gap.
constexpr int64_t TIMELINE_JITTER_TICKS = 20;
// A tick this far behind the clock gets no more audio, so it is written.
constexpr int64_t TIMELINE_DELAY_TICKS = 30;
// Connections followed per side: a full server table, and a few that just ended.
constexpr int TIMELINE_MAX_STREAMS = 64;
// A side with this many blocks queued (40 s of audio) is backlogged: its senders
// are to be slowed down to what the writer and the other streams can follow.
constexpr size_t TIMELINE_SIDE_QUEUE_MAX = 4000;
// Beyond this a side drops blocks: memory stays bounded whatever the writer does.
constexpr size_t TIMELINE_SIDE_QUEUE_HARD_MAX = 8000;
// Most ticks handed out by one Take (1 s).
constexpr int TIMELINE_TAKE_MAX_TICKS = 100;
// A stream's arrivals are summed up per second, and its clock fitted over this many seconds.
constexpr int64_t TIMELINE_FIT_BUCKET_US = 1000000;
constexpr int TIMELINE_FIT_BUCKETS = 32;

class CTimeline {
public:
    CTimeline();
    CTimeline(const CTimeline&) = delete;
    CTimeline& operator=(const CTimeline&) = delete;

    // Forgets every stream and queued block: the next recording starts.
    void Reset();
    // A 320-byte block of connection nStream of a side, arrived at nNowUs on the
    // recording's clock. False when it had to be dropped (no room left, or its
    // time was already written).
    bool AddBlock(int nSide, uint32_t nStream, const uint8_t* pBlock, int64_t nNowUs);
    // Mixes the ticks ready at nNowUs (with bDrain every queued one) into pOut:
    // 160 frames per tick, interleaved (mic, remote) in stereo, their clamped sum
    // in mono. At most nMaxTicks (up to TIMELINE_TAKE_MAX_TICKS); returns the count.
    int Take(int64_t nNowUs, bool bDrain, bool bStereo, int16_t* pOut, int nMaxTicks);

    bool IsBacklogged(int nSide) const { return m_sides[nSide].nQueued > TIMELINE_SIDE_QUEUE_MAX; }
    uint64_t GetBlocks(int nSide) const { return m_sides[nSide].nBlocks; }
    uint64_t GetDropped(int nSide) const { return m_sides[nSide].nDropped; }
    size_t GetPoolBlocks();

private:
    // Lowest arrival-minus-sample-index of one second of a stream's blocks.
    struct CBucket {
        int64_t nMinSamples = 0;
        int64_t nAtUs = 0;
    };
    struct CStream {
        bool bUsed = false;
        uint32_t nId = 0;
        uint64_t nOrder = 0;     // streams of a side in the order they began
        int64_t nLastUs = 0;     // arrival of the last block
        CBlockQueue queue;       // consecutive blocks; null where a gap was filled
        int nSkipSamples = 0;    // samples of the front block already read
        int64_t nReadSample = 0;      // timeline sample of the next unread sample
        int64_t nReceivedSamples = 0; // the stream's own samples so far, gaps included
        int64_t nShiftSamples = 0;    // timeline sample minus stream sample, as read so far
        int64_t nWantedShiftSamples = 0;  // ... and as the fit wants it
        int nSlideDir = 0;       // +1 a sample is being dropped, -1 repeated, 0 neither
        int nSlideStep = 0;
        int64_t nCreditSamples = 0;  // how far a burst may pull the stream back
        int64_t nCreditUntilUs = 0;
        // The clock fit: completed buckets (a ring), the open one, and what they gave.
        CBucket buckets[TIMELINE_FIT_BUCKETS];
        int nBuckets = 0;
        int nBucketHead = 0;
        bool bBucketOpen = false;
        int64_t nBucketStartUs = 0;
        CBucket open;
        bool bClock = false;           // runs near our rate, so its drift is followed
        double dDriftSamplesPerS = 0;  // how fast its arrivals move against its samples
        double dDriftCarry = 0;        // the part of a sample not yet asked for
        int nDriftBuckets = 0;         // seconds the drift was found over
        bool bStartLeadKnown = false;
        int64_t nStartLeadSamples = 0; // how late its blocks came after their place when it began, at best
    };
    struct CSide {
        CCriticalSection lock;
        CBufferPool pool;
        CStream streams[TIMELINE_MAX_STREAMS];
        std::atomic<size_t> nQueued{0};  // written under the lock, read without it
        int64_t nOutTick = 0;  // the first tick not yet taken, as this side knows it
        uint64_t nStreamsBegun = 0;
        std::atomic<uint64_t> nBlocks{0};
        std::atomic<uint64_t> nDropped{0};
        int64_t nDroppedSamples = 0;  // of a block not yet counted
    };
    struct CSurvey {
        int64_t nFreshNextTick;  // lowest tick still to come from the streams delivering
        int64_t nDataEndTick;    // the tick after the last queued sample
    };

    CStream* FindStream(CSide& side, uint32_t nStream, int64_t nNowUs, bool& bNew);
    static void BeginStream(CStream& s, int64_t nPlaceSample, int64_t nOutSample, int64_t nNowUs);
    bool Place(CSide& side, CStream& s, int64_t nArrivalSample, int64_t nOutSample, int64_t nNowUs);
    static void Observe(CStream& s, int64_t nLeadSamples, int64_t nNowUs);
    static void Refit(CStream& s, int64_t nNowUs);
    static void ForgetFit(CStream& s);
    static void DropBefore(CSide& side, CStream& s, int64_t nSample);
    static int64_t QueuedSamples(const CStream& s);
    static int SampleAt(const CStream& s, int64_t nIndex, bool& bCovered);
    static void Consume(CSide& side, CStream& s, int nSamples);
    CSurvey Survey(CSide& side, int64_t nNowUs);
    void Collect(CSide& side, bool bOneVoice, int64_t nOut, int64_t nEnd, int64_t nNowUs, bool bDrain, int16_t* pSide);

    CSide m_sides[2];
    std::atomic<int64_t> m_nOutTick;
    // The mixer's scratch for one Take, per sample: sums and stream counts (remote
    // side), weighted sums and weights (my side), and each side's result.
    int32_t m_sums[TIMELINE_TAKE_MAX_TICKS * TIMELINE_TICK_SAMPLES];
    uint8_t m_counts[TIMELINE_TAKE_MAX_TICKS * TIMELINE_TICK_SAMPLES];
    float m_voice[TIMELINE_TAKE_MAX_TICKS * TIMELINE_TICK_SAMPLES];
    float m_weights[TIMELINE_TAKE_MAX_TICKS * TIMELINE_TICK_SAMPLES];
    int16_t m_sideSamples[2][TIMELINE_TAKE_MAX_TICKS * TIMELINE_TICK_SAMPLES];
};
