#pragma once
// The recording's common 10 ms timeline. Every connection of a side is a stream
// of its own: its first block is placed where the clock stands when it arrives,
// the next ones follow every 10 ms. A side's audio for a tick is the average of
// its streams that carry a block there, silence when none. Two connections that
// carry the same signal (my microphone in two calls) are lined up by their
// content, since their arrival times can differ by a tick. Plain logic: the
// caller gives the time and takes the mixed ticks.
#include <atomic>
#include <cstdint>

#include "audio/BlockQueue.h"
#include "audio/BufferPool.h"
#include "base/Lock.h"

constexpr int TIMELINE_MIC = 0;
constexpr int TIMELINE_REMOTE = 1;
constexpr int64_t TIMELINE_TICK_US = 10000;
// Blocks that arrive this much late or early neither shift a stream nor leave a gap.
constexpr int64_t TIMELINE_JITTER_TICKS = 20;
// Copies of one signal whose arrivals put them this many ticks apart at most are
// lined up by their content. Further is not taken for a copy: a tone repeats
// itself every few ticks.
constexpr int64_t TIMELINE_COPY_TICKS = 3;
// A tick this far behind the clock gets no more audio, so it is written.
constexpr int64_t TIMELINE_DELAY_TICKS = 30;
// Connections followed per side: a full server table, and a few that just ended.
constexpr int TIMELINE_MAX_STREAMS = 64;
// A side with this many ticks queued (40 s of audio) is backlogged: its senders
// are to be slowed down to what the writer and the other streams can follow.
constexpr size_t TIMELINE_SIDE_QUEUE_MAX = 4000;
// Beyond this a side drops blocks: memory stays bounded whatever the writer does.
constexpr size_t TIMELINE_SIDE_QUEUE_HARD_MAX = 8000;
// Most ticks handed out by one Take (1 s).
constexpr int TIMELINE_TAKE_MAX_TICKS = 100;

class CTimeline {
public:
    CTimeline();
    CTimeline(const CTimeline&) = delete;
    CTimeline& operator=(const CTimeline&) = delete;

    // Forgets every stream and queued block: the next recording starts.
    void Reset();
    // A 320-byte block of connection nStream of a side, arrived at nNowUs on the
    // recording's clock. False when it had to be dropped (no room left).
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
    struct CStream {
        bool bUsed = false;
        uint32_t nId = 0;
        int64_t nFirstTick = 0;  // tick of the queue's first entry
        int64_t nNextTick = 0;   // tick of the next block
        int64_t nLastUs = 0;     // arrival of the last block
        uint64_t nOrder = 0;     // streams of a side in the order they began
        CBlockQueue queue;       // one entry per tick; null where the stream had a gap
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
    };
    struct CSurvey {
        int64_t nFreshNext;  // lowest next tick of the streams still delivering
        int64_t nDataEnd;    // the tick after the last queued one
    };

    CStream* FindStream(CSide& side, uint32_t nStream, int64_t nNowUs, bool& bNew);
    int64_t AlignCopies(CSide& side, CStream& s, const uint8_t* pBlock, int64_t nTick);
    static void Shift(CSide& side, CStream& s, int64_t nShift);
    CSurvey Survey(CSide& side, int64_t nNowUs);
    void Collect(CSide& side, int64_t nOut, int64_t nEnd, int64_t nNowUs, int16_t* pSide);

    CSide m_sides[2];
    std::atomic<int64_t> m_nOutTick;
    // The mixer's scratch: sums and stream counts of one Take.
    int32_t m_sums[TIMELINE_TAKE_MAX_TICKS * 160];
    int m_counts[TIMELINE_TAKE_MAX_TICKS];
    int16_t m_sideSamples[2][TIMELINE_TAKE_MAX_TICKS * 160];
};
