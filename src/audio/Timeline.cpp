#include "audio/Timeline.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "audio/AudioBlock.h"

namespace {

constexpr int64_t TICK_UNSET = std::numeric_limits<int64_t>::min();
constexpr int64_t TICK_NEVER = std::numeric_limits<int64_t>::max();
constexpr int64_t JITTER_US = TIMELINE_JITTER_TICKS * TIMELINE_TICK_US;

int16_t Clamp16(int32_t n) { return static_cast<int16_t>(std::clamp<int32_t>(n, -32768, 32767)); }

int64_t FloorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// Digital silence or a constant: its copies say nothing about where they belong.
bool IsFlat(const uint8_t* pBlock) {
    for (int i = 2; i < AUDIO_BLOCK_BYTES; ++i)
        if (pBlock[i] != pBlock[i & 1]) return false;
    return true;
}

}  // namespace

CTimeline::CTimeline() : m_nOutTick(TICK_UNSET) { Reset(); }

void CTimeline::Reset() {
    for (CSide& side : m_sides) {
        CLock lock(side.lock);
        for (CStream& s : side.streams) {
            while (!s.queue.IsEmpty())
                if (CBuffer* p = s.queue.Pop()) side.pool.GiveBack(p);
            s.bUsed = false;
        }
        side.nQueued = 0;
        side.nOutTick = TICK_UNSET;
        side.nBlocks = 0;
        side.nDropped = 0;
    }
    m_nOutTick = TICK_UNSET;
}

size_t CTimeline::GetPoolBlocks() { return m_sides[0].pool.GetBlockCount() + m_sides[1].pool.GetBlockCount(); }

CTimeline::CStream* CTimeline::FindStream(CSide& side, uint32_t nStream, int64_t nNowUs, bool& bNew) {
    CStream* pFree = nullptr;
    CStream* pIdlest = nullptr;
    for (CStream& s : side.streams) {
        if (s.bUsed && s.nId == nStream) {
            bNew = false;
            return &s;
        }
        if (!s.bUsed) {
            if (!pFree) pFree = &s;
        } else if (s.queue.IsEmpty() && nNowUs - s.nLastUs > JITTER_US &&
                   (!pIdlest || s.nLastUs < pIdlest->nLastUs)) {
            pIdlest = &s;
        }
    }
    // A full table gives up the stream that has been silent longest and has nothing queued.
    CStream* p = pFree ? pFree : pIdlest;
    if (!p) return nullptr;
    p->bUsed = true;
    p->nId = nStream;
    p->nOrder = ++side.nStreamsBegun;
    bNew = true;
    return p;
}

bool CTimeline::AddBlock(int nSide, uint32_t nStream, const uint8_t* pBlock, int64_t nNowUs) {
    if (nSide != TIMELINE_MIC && nSide != TIMELINE_REMOTE) return false;
    CSide& side = m_sides[nSide];
    const int64_t nNow = nNowUs / TIMELINE_TICK_US;
    // The first block of the recording starts its timeline.
    int64_t nExpected = TICK_UNSET;
    if (m_nOutTick.load() == TICK_UNSET) m_nOutTick.compare_exchange_strong(nExpected, nNow);

    CLock lock(side.lock);
    if (side.nOutTick == TICK_UNSET) side.nOutTick = m_nOutTick;
    bool bNew = false;
    CStream* pStream = FindStream(side, nStream, nNowUs, bNew);
    if (!pStream) {
        ++side.nDropped;
        return false;
    }
    CStream& s = *pStream;
    int64_t nTick;
    if (bNew) {
        nTick = nNow;
        // Another connection of this side still delivering sets the pace: a second
        // copy of the same signal lands on the same ticks, not one beside them.
        const CStream* pPace = nullptr;
        for (const CStream& o : side.streams)
            if (&o != &s && o.bUsed && nNowUs - o.nLastUs <= JITTER_US && (!pPace || o.nLastUs > pPace->nLastUs))
                pPace = &o;
        // Its block goes on the tick the pace stream would give a block that arrived with it.
        if (pPace) {
            nTick = pPace->nNextTick - 1 + FloorDiv(nNowUs - pPace->nLastUs + TIMELINE_TICK_US / 2, TIMELINE_TICK_US);
        }
        s.nNextTick = nTick;
    } else if (s.nNextTick < nNow - TIMELINE_JITTER_TICKS) {
        nTick = nNow;  // the stream had a gap: it goes on where the clock is now
    } else if (s.nNextTick > nNow && s.nNextTick - nNow <= TIMELINE_JITTER_TICKS) {
        // A block before its tick: the first ones came late, and the stream moves
        // back to where its earliest arrivals put it (a faster sender stops at what was written).
        int64_t nBack = std::min(s.nNextTick - nNow, (s.queue.IsEmpty() ? s.nNextTick : s.nFirstTick) - side.nOutTick);
        if (nBack > 0) {
            s.nFirstTick -= nBack;
            s.nNextTick -= nBack;
        }
        nTick = s.nNextTick;
    } else {
        nTick = s.nNextTick;
    }
    nTick = std::max(nTick, side.nOutTick);  // never before what was written
    if (!IsFlat(pBlock)) nTick = AlignCopies(side, s, pBlock, nTick);
    if (s.queue.IsEmpty()) {
        s.nFirstTick = nTick;
        s.nNextTick = nTick;
    }
    size_t nGap = static_cast<size_t>(std::max<int64_t>(0, nTick - s.nNextTick));
    if (side.nQueued + nGap + 1 > TIMELINE_SIDE_QUEUE_HARD_MAX) {
        ++side.nDropped;
        return false;
    }
    for (size_t i = 0; i < nGap; ++i) {
        if (!s.queue.Push(nullptr)) {
            ++side.nDropped;
            return false;
        }
        ++side.nQueued;
        ++s.nNextTick;
    }
    CBuffer* pCopy = side.pool.Take();
    if (!pCopy || !s.queue.Push(pCopy)) {
        if (pCopy) side.pool.GiveBack(pCopy);
        ++side.nDropped;
        return false;
    }
    std::memcpy(pCopy->m_pData, pBlock, AUDIO_BLOCK_BYTES);
    ++side.nQueued;
    ++s.nNextTick;
    s.nLastUs = nNowUs;
    ++side.nBlocks;
    return true;
}

int64_t CTimeline::AlignCopies(CSide& side, CStream& s, const uint8_t* pBlock, int64_t nTick) {
    // The same block queued by another stream of the side, a few ticks from where
    // this one goes: the two carry one signal, and the stream that began later
    // moves to the other's ticks. Moving the later one keeps the earlier one's
    // audio in place, and the ticks it leaves are the earlier one's copy.
    for (CStream& o : side.streams) {
        if (&o == &s || !o.bUsed || o.queue.IsEmpty()) continue;
        auto holds = [&](int64_t t) {
            if (t < o.nFirstTick || t >= o.nNextTick) return false;
            const CBuffer* p = o.queue.At(static_cast<size_t>(t - o.nFirstTick));
            return p && std::memcmp(p->m_pData, pBlock, AUDIO_BLOCK_BYTES) == 0;
        };
        if (holds(nTick)) return nTick;  // in line already
        for (int64_t d = 1; d <= TIMELINE_COPY_TICKS; ++d) {
            for (int64_t t : {nTick - d, nTick + d}) {
                if (!holds(t)) continue;
                if (o.nOrder > s.nOrder) {
                    Shift(side, o, nTick - t);
                    return nTick;
                }
                Shift(side, s, t - nTick);
                return std::max(t, side.nOutTick);
            }
        }
    }
    return nTick;
}

void CTimeline::Shift(CSide& side, CStream& s, int64_t nShift) {
    // The stream moves as a whole, what it has queued too. What would land on
    // ticks already written is its copy's, and in the file.
    while (!s.queue.IsEmpty() && s.nFirstTick + nShift < side.nOutTick) {
        if (CBuffer* p = s.queue.Pop()) side.pool.GiveBack(p);
        --side.nQueued;
        ++s.nFirstTick;
    }
    s.nFirstTick += nShift;
    s.nNextTick += nShift;
}

CTimeline::CSurvey CTimeline::Survey(CSide& side, int64_t nNowUs) {
    CLock lock(side.lock);
    CSurvey survey{TICK_NEVER, TICK_UNSET};
    for (const CStream& s : side.streams) {
        if (!s.bUsed) continue;
        if (nNowUs - s.nLastUs <= JITTER_US) survey.nFreshNext = std::min(survey.nFreshNext, s.nNextTick);
        if (!s.queue.IsEmpty()) survey.nDataEnd = std::max(survey.nDataEnd, s.nNextTick);
    }
    return survey;
}

int CTimeline::Take(int64_t nNowUs, bool bDrain, bool bStereo, int16_t* pOut, int nMaxTicks) {
    const int64_t nOut = m_nOutTick;
    if (nOut == TICK_UNSET) return 0;
    nMaxTicks = std::clamp(nMaxTicks, 0, TIMELINE_TAKE_MAX_TICKS);
    const int64_t nNow = nNowUs / TIMELINE_TICK_US;
    CSurvey mic = Survey(m_sides[TIMELINE_MIC], nNowUs);
    CSurvey remote = Survey(m_sides[TIMELINE_REMOTE], nNowUs);
    const int64_t nDataEnd = std::max(mic.nDataEnd, remote.nDataEnd);

    int64_t nEnd = nOut;
    if (bDrain) {
        nEnd = nDataEnd;
    } else {
        // What the clock has passed can get no more audio.
        nEnd = std::max(nEnd, nNow - TIMELINE_DELAY_TICKS);
        // Senders faster than the clock: go as far as every delivering stream has come.
        if (nDataEnd >= nNow + TIMELINE_JITTER_TICKS)
            nEnd = std::max(nEnd, std::min({nDataEnd, mic.nFreshNext, remote.nFreshNext}));
    }
    nEnd = std::min(nEnd, nOut + nMaxTicks);
    if (nEnd <= nOut) return 0;
    const int nTicks = static_cast<int>(nEnd - nOut);

    Collect(m_sides[TIMELINE_MIC], nOut, nEnd, nNowUs, m_sideSamples[TIMELINE_MIC]);
    Collect(m_sides[TIMELINE_REMOTE], nOut, nEnd, nNowUs, m_sideSamples[TIMELINE_REMOTE]);
    m_nOutTick = nEnd;

    const int16_t* pMic = m_sideSamples[TIMELINE_MIC];
    const int16_t* pRemote = m_sideSamples[TIMELINE_REMOTE];
    const int nSamples = nTicks * AUDIO_BLOCK_SAMPLES;
    for (int i = 0; i < nSamples; ++i) {
        if (bStereo) {
            pOut[2 * i] = pMic[i];
            pOut[2 * i + 1] = pRemote[i];
        } else {
            pOut[i] = Clamp16(static_cast<int32_t>(pMic[i]) + pRemote[i]);
        }
    }
    return nTicks;
}

void CTimeline::Collect(CSide& side, int64_t nOut, int64_t nEnd, int64_t nNowUs, int16_t* pSide) {
    const int nTicks = static_cast<int>(nEnd - nOut);
    std::fill(m_sums, m_sums + nTicks * AUDIO_BLOCK_SAMPLES, 0);
    std::fill(m_counts, m_counts + nTicks, 0);
    {
        CLock lock(side.lock);
        for (CStream& s : side.streams) {
            if (!s.bUsed) continue;
            while (!s.queue.IsEmpty() && s.nFirstTick < nEnd) {
                CBuffer* p = s.queue.Pop();
                const int64_t t = s.nFirstTick++;
                --side.nQueued;
                if (!p) continue;
                if (t >= nOut) {
                    int32_t* pSum = m_sums + (t - nOut) * AUDIO_BLOCK_SAMPLES;
                    const int16_t* pIn = p->Samples();
                    for (int k = 0; k < AUDIO_BLOCK_SAMPLES; ++k) pSum[k] += pIn[k];
                    ++m_counts[t - nOut];
                }
                side.pool.GiveBack(p);
            }
            // A connection that went quiet and has nothing left frees its place.
            if (s.queue.IsEmpty() && nNowUs - s.nLastUs > JITTER_US) s.bUsed = false;
        }
        side.nOutTick = nEnd;
    }
    for (int t = 0; t < nTicks; ++t) {
        const int n = m_counts[t];
        const int32_t* pSum = m_sums + t * AUDIO_BLOCK_SAMPLES;
        int16_t* pDst = pSide + t * AUDIO_BLOCK_SAMPLES;
        for (int k = 0; k < AUDIO_BLOCK_SAMPLES; ++k) pDst[k] = n > 1 ? Clamp16(pSum[k] / n) : static_cast<int16_t>(pSum[k]);
    }
}
