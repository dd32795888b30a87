#include "audio/Timeline.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "audio/AudioBlock.h"

namespace {

constexpr int64_t TICK_UNSET = std::numeric_limits<int64_t>::min();
constexpr int64_t TICK_NEVER = std::numeric_limits<int64_t>::max();
constexpr int64_t TICK = TIMELINE_TICK_SAMPLES;
constexpr int64_t SAMPLES_PER_S = 16000;
constexpr int64_t JITTER_US = TIMELINE_JITTER_TICKS * TIMELINE_TICK_US;
constexpr int64_t JITTER_SAMPLES = TIMELINE_JITTER_TICKS * TICK;
// A block is placed on the tick its earliest arrivals fall in: it arrives 0 to
// 10 ms after its place (its lead). One that comes later than the highest lead
// plus the jitter starts a gap; one more than a tick ahead of the lowest, after a
// gap, is a burst.
constexpr int64_t LEAD_LOW_SAMPLES = -32;
constexpr int64_t LEAD_HIGH_SAMPLES = TICK + 16;
// The fit keeps a stream's lead within 3 ms of where it began, taking back 2 ms
// more than it strayed.
constexpr int64_t LEAD_BAND_SAMPLES = 48;
constexpr int64_t LEAD_MARGIN_SAMPLES = 32;
// One sample dropped or repeated is spread over this many samples: its pitch
// moves by 0.6 % for 10 ms, and up to 6,250 ppm of drift can be followed.
constexpr int SLIDE_SAMPLES = 160;
// Drift below this (125 ppm, more while the fit has few seconds) is noise in it:
// the stream is copied sample for sample.
constexpr double DRIFT_DEAD_SAMPLES_PER_S = 2.0;
constexpr int DRIFT_DEAD_SAMPLES = 48;
// A stream whose arrivals move against its samples faster than this (2 %) is no clock.
constexpr double CLOCK_LIMIT_SAMPLES_PER_S = 0.02 * SAMPLES_PER_S;
// Seconds of arrivals before a drift is looked for.
constexpr int DRIFT_MIN_BUCKETS = 4;
// A burst may pull a stream back by the gap it was given, this long after the gap.
constexpr int64_t CREDIT_US = 10000000;
// A quiet connection is followed this long (a full table gives up the quietest sooner).
constexpr int64_t STREAM_KEPT_US = CREDIT_US;
// My side moves from a connection that ended to another over this many samples.
constexpr int64_t HANDOVER_SAMPLES = 320;

int16_t Clamp16(int32_t n) { return static_cast<int16_t>(std::clamp<int32_t>(n, -32768, 32767)); }

int64_t FloorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

int64_t UsToSamples(int64_t nUs) { return FloorDiv(nUs * SAMPLES_PER_S, 1000000); }

// x0 + (x1 - x0) * nNum / SLIDE_SAMPLES, rounded.
int Lerp(int x0, int x1, int nNum) {
    const int nStep = (x1 - x0) * nNum;
    const int nHalf = SLIDE_SAMPLES / 2;
    return x0 + (nStep >= 0 ? (nStep + nHalf) / SLIDE_SAMPLES : -((-nStep + nHalf) / SLIDE_SAMPLES));
}

}  // namespace

CTimeline::CTimeline() : m_nOutTick(TICK_UNSET) { Reset(); }

void CTimeline::Reset() {
    for (CSide& side : m_sides) {
        CLock lock(side.lock);
        for (CStream& s : side.streams) {
            while (!s.queue.IsEmpty())
                if (CBuffer* p = s.queue.Pop()) side.pool.GiveBack(p);
            s.nSkipSamples = 0;
            s.bUsed = false;
        }
        side.nQueued = 0;
        side.nOutTick = TICK_UNSET;
        side.nBlocks = 0;
        side.nDropped = 0;
        side.nDroppedSamples = 0;
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

void CTimeline::BeginStream(CStream& s, int64_t nPlaceSample, int64_t nOutSample, int64_t nNowUs) {
    s.nSkipSamples = 0;
    s.nReadSample = nPlaceSample;
    s.nReceivedSamples = 0;
    s.nShiftSamples = nPlaceSample;
    s.nWantedShiftSamples = nPlaceSample;
    s.nSlideDir = 0;
    s.nSlideStep = 0;
    // Its first block may have come late: the burst behind it may pull it back,
    // but not onto what was already written.
    s.nCreditSamples = std::min(JITTER_SAMPLES, nPlaceSample - nOutSample);
    s.nCreditUntilUs = nNowUs + CREDIT_US;
    s.bClock = false;  // until two seconds of arrivals say so
    s.dDriftSamplesPerS = 0;
    s.dDriftCarry = 0;
    s.nDriftBuckets = 0;
    ForgetFit(s);
}

void CTimeline::ForgetFit(CStream& s) {
    s.bStartLeadKnown = false;
    s.nBuckets = 0;
    s.nBucketHead = 0;
    s.bBucketOpen = false;
}

int64_t CTimeline::QueuedSamples(const CStream& s) {
    return static_cast<int64_t>(s.queue.GetCount()) * TICK - s.nSkipSamples;
}

bool CTimeline::AddBlock(int nSide, uint32_t nStream, const uint8_t* pBlock, int64_t nNowUs) {
    if (nSide != TIMELINE_MIC && nSide != TIMELINE_REMOTE) return false;
    CSide& side = m_sides[nSide];
    const int64_t nNow = FloorDiv(nNowUs, TIMELINE_TICK_US);
    // The first block of the recording starts its timeline.
    int64_t nExpected = TICK_UNSET;
    if (m_nOutTick.load() == TICK_UNSET) m_nOutTick.compare_exchange_strong(nExpected, nNow);

    CLock lock(side.lock);
    if (side.nOutTick == TICK_UNSET) side.nOutTick = m_nOutTick;
    const int64_t nOutSample = side.nOutTick * TICK;
    const int64_t nArrivalSample = UsToSamples(nNowUs);
    bool bNew = false;
    CStream* pStream = FindStream(side, nStream, nNowUs, bNew);
    if (!pStream) {
        ++side.nDropped;
        return false;
    }
    CStream& s = *pStream;
    if (bNew)
        BeginStream(s, std::max(FloorDiv(nArrivalSample, TICK) * TICK, nOutSample), nOutSample, nNowUs);
    else if (!Place(side, s, nArrivalSample, nOutSample, nNowUs))
        return false;
    s.nLastUs = nNowUs;
    if (side.nQueued + 1 > TIMELINE_SIDE_QUEUE_HARD_MAX) {
        ++side.nDropped;
        return false;
    }
    CBuffer* pCopy = side.pool.Take();
    if (!pCopy || !s.queue.Push(pCopy)) {
        if (pCopy) side.pool.GiveBack(pCopy);
        ++side.nDropped;
        return false;
    }
    std::memcpy(pCopy->m_pData, pBlock, AUDIO_BLOCK_BYTES);
    ++side.nQueued;
    ++side.nBlocks;
    Observe(s, nArrivalSample - s.nReceivedSamples, nNowUs);
    s.nReceivedSamples += TICK;
    return true;
}

bool CTimeline::Place(CSide& side, CStream& s, int64_t nArrivalSample, int64_t nOutSample, int64_t nNowUs) {
    // How late this block comes after the place the stream's model gives it.
    const int64_t nLeadSamples = nArrivalSample - (s.nReceivedSamples + s.nWantedShiftSamples);
    if (nLeadSamples > LEAD_HIGH_SAMPLES + JITTER_SAMPLES) {
        // Far too late for jitter: the sender stopped and goes on at its time (the
        // gap is silence), or it was held up; then the burst that follows pulls it back.
        const int64_t nGapSamples = nLeadSamples / TICK * TICK;
        if (s.queue.IsEmpty()) {
            s.nReadSample += nGapSamples;
        } else {
            if (side.nQueued + static_cast<size_t>(nGapSamples / TICK) + 1 > TIMELINE_SIDE_QUEUE_HARD_MAX) {
                ++side.nDropped;
                return false;
            }
            for (int64_t i = 0; i < nGapSamples / TICK; ++i) {
                if (!s.queue.Push(nullptr)) {
                    ++side.nDropped;
                    return false;
                }
                ++side.nQueued;
            }
        }
        s.nReceivedSamples += nGapSamples;
        s.nCreditSamples += nGapSamples;
        s.nCreditUntilUs = nNowUs + CREDIT_US;
        ForgetFit(s);
    } else if (s.nCreditSamples > 0 && nNowUs < s.nCreditUntilUs &&
               (nLeadSamples < LEAD_LOW_SAMPLES - TICK ||
                (nLeadSamples < LEAD_LOW_SAMPLES && nNowUs - s.nLastUs < TIMELINE_TICK_US / 2))) {
        // Blocks far faster than 10 ms each after a late one: a burst. The stream goes
        // back to its time, and what now falls on written ticks is dropped. A clock
        // that drifts comes ahead slowly and block by block: the fit takes that.
        // Back by whole ticks until its lead is one a block may have (a stamp a little
        // early is jitter, not a tick to move by).
        const int64_t nBackSamples =
            std::min((LEAD_LOW_SAMPLES - nLeadSamples + TICK - 1) / TICK * TICK, s.nCreditSamples);
        s.nCreditSamples -= nBackSamples;
        s.nShiftSamples -= nBackSamples;
        s.nWantedShiftSamples -= nBackSamples;
        s.nReadSample -= nBackSamples;
        DropBefore(side, s, nOutSample);
        ForgetFit(s);
    }
    // Never before what was written: the other side may run ahead of the clock.
    if (s.queue.IsEmpty() && s.nReadSample < nOutSample) {
        const int64_t nForwardSamples = nOutSample - s.nReadSample;
        s.nReadSample += nForwardSamples;
        s.nShiftSamples += nForwardSamples;
        s.nWantedShiftSamples += nForwardSamples;
        ForgetFit(s);
    }
    return true;
}

void CTimeline::Observe(CStream& s, int64_t nLeadSamples, int64_t nNowUs) {
    if (s.bBucketOpen && nNowUs - s.nBucketStartUs >= TIMELINE_FIT_BUCKET_US) {
        s.buckets[(s.nBucketHead + s.nBuckets) % TIMELINE_FIT_BUCKETS] = s.open;
        if (s.nBuckets < TIMELINE_FIT_BUCKETS)
            ++s.nBuckets;
        else
            s.nBucketHead = (s.nBucketHead + 1) % TIMELINE_FIT_BUCKETS;
        s.bBucketOpen = false;
        Refit(s, nNowUs);
    }
    if (!s.bBucketOpen) {
        s.bBucketOpen = true;
        s.nBucketStartUs = nNowUs;
        s.open = {nLeadSamples, nNowUs};
    } else if (nLeadSamples < s.open.nMinSamples) {
        s.open = {nLeadSamples, nNowUs};
    }
}

void CTimeline::Refit(CStream& s, int64_t nNowUs) {
    if (s.nBuckets >= 2) {
        // The lowest arrivals of the older and of the newer half of the seconds kept:
        // how their envelope moves is the stream's drift against our clock.
        const int nHalf = s.nBuckets / 2;
        const CBucket* pOld = nullptr;
        const CBucket* pNew = nullptr;
        for (int i = 0; i < s.nBuckets; ++i) {
            const CBucket& b = s.buckets[(s.nBucketHead + i) % TIMELINE_FIT_BUCKETS];
            const CBucket*& pMin = i < nHalf ? pOld : pNew;
            if (!pMin || b.nMinSamples < pMin->nMinSamples) pMin = &b;
        }
        if (pNew->nAtUs > pOld->nAtUs) {
            const double dSlope = static_cast<double>(pNew->nMinSamples - pOld->nMinSamples) * 1e6 /
                                  static_cast<double>(pNew->nAtUs - pOld->nAtUs);
            s.bClock = std::fabs(dSlope) < CLOCK_LIMIT_SAMPLES_PER_S;
            // The envelope of a few seconds says less than that of many: a drift found
            // over more seconds is kept until as many have come again.
            if (!s.bClock) {
                s.dDriftSamplesPerS = 0;
                s.nDriftBuckets = 0;
            } else if (s.nBuckets >= DRIFT_MIN_BUCKETS &&
                       s.nBuckets >= std::min(s.nDriftBuckets, TIMELINE_FIT_BUCKETS / 2)) {
                const double dDead = std::max(DRIFT_DEAD_SAMPLES_PER_S, DRIFT_DEAD_SAMPLES * 1.0 / s.nBuckets);
                s.dDriftSamplesPerS = std::fabs(dSlope) < dDead ? 0 : dSlope;
                s.nDriftBuckets = s.nBuckets;
            }
        }
    }
    if (!s.bClock) return;
    // Where the stream stands now: the envelope of its last two seconds, carried on by the drift.
    double dLowest = std::numeric_limits<double>::max();
    for (int i = std::max(0, s.nBuckets - 2); i < s.nBuckets; ++i) {
        const CBucket& b = s.buckets[(s.nBucketHead + i) % TIMELINE_FIT_BUCKETS];
        dLowest = std::min(dLowest, static_cast<double>(b.nMinSamples) +
                                        s.dDriftSamplesPerS * static_cast<double>(nNowUs - b.nAtUs) / 1e6);
    }
    int64_t nLeadSamples = std::llround(dLowest - static_cast<double>(s.nWantedShiftSamples));
    // The lead it had when it was placed is kept: a lead is anything from 0 to 10 ms,
    // as the clocks' phases fall, and only its changes are corrected.
    if (!s.bStartLeadKnown) {
        s.nStartLeadSamples = std::clamp<int64_t>(nLeadSamples, 0, TICK - 1);
        s.bStartLeadKnown = true;
    }
    // The drift of the second to come is asked for now, so the slides spread over it.
    s.dDriftCarry += s.dDriftSamplesPerS * static_cast<double>(TIMELINE_FIT_BUCKET_US) / 1e6;
    const int64_t nAheadSamples = static_cast<int64_t>(s.dDriftCarry);
    s.dDriftCarry -= static_cast<double>(nAheadSamples);
    s.nWantedShiftSamples += nAheadSamples;
    nLeadSamples -= nAheadSamples / 2;
    // What the drift left outside the bounds is taken back too.
    if (nLeadSamples < s.nStartLeadSamples - LEAD_BAND_SAMPLES)
        s.nWantedShiftSamples -= s.nStartLeadSamples - LEAD_BAND_SAMPLES + LEAD_MARGIN_SAMPLES - nLeadSamples;
    else if (nLeadSamples > s.nStartLeadSamples + LEAD_BAND_SAMPLES)
        s.nWantedShiftSamples += nLeadSamples - (s.nStartLeadSamples + LEAD_BAND_SAMPLES - LEAD_MARGIN_SAMPLES);
}

void CTimeline::Consume(CSide& side, CStream& s, int nSamples) {
    s.nSkipSamples += nSamples;
    while (s.nSkipSamples >= TICK && !s.queue.IsEmpty()) {
        if (CBuffer* p = s.queue.Pop()) side.pool.GiveBack(p);
        --side.nQueued;
        s.nSkipSamples -= static_cast<int>(TICK);
    }
    if (s.queue.IsEmpty()) s.nSkipSamples = 0;
}

void CTimeline::DropBefore(CSide& side, CStream& s, int64_t nSample) {
    while (s.nReadSample < nSample && !s.queue.IsEmpty()) {
        const int64_t n = std::min<int64_t>(nSample - s.nReadSample, TICK - s.nSkipSamples);
        // Counted in blocks: every 160 samples of audio not heard.
        if (s.queue.At(0)) {
            side.nDroppedSamples += n;
            for (; side.nDroppedSamples >= TICK; side.nDroppedSamples -= TICK) ++side.nDropped;
        }
        s.nReadSample += n;
        Consume(side, s, static_cast<int>(n));
    }
}

int CTimeline::SampleAt(const CStream& s, int64_t nIndex, bool& bCovered) {
    const int64_t nAt = s.nSkipSamples + nIndex;
    const CBuffer* p = s.queue.At(static_cast<size_t>(nAt / TICK));
    bCovered = p != nullptr;
    return p ? p->Samples()[nAt % TICK] : 0;
}

CTimeline::CSurvey CTimeline::Survey(CSide& side, int64_t nNowUs) {
    CLock lock(side.lock);
    CSurvey survey{TICK_NEVER, TICK_UNSET};
    for (const CStream& s : side.streams) {
        if (!s.bUsed) continue;
        // A slide under way or asked for may leave a sample less than queued.
        const int64_t nEnd = s.nReadSample + QueuedSamples(s);
        const int64_t nSure = nEnd - std::max<int64_t>(0, s.nShiftSamples - s.nWantedShiftSamples) - (s.nSlideDir != 0);
        if (nNowUs - s.nLastUs <= JITTER_US)
            survey.nFreshNextTick = std::min(survey.nFreshNextTick, FloorDiv(nSure, TICK));
        if (!s.queue.IsEmpty()) survey.nDataEndTick = std::max(survey.nDataEndTick, FloorDiv(nEnd + TICK - 1, TICK));
    }
    return survey;
}

int CTimeline::Take(int64_t nNowUs, bool bDrain, bool bStereo, int16_t* pOut, int nMaxTicks) {
    const int64_t nOut = m_nOutTick;
    if (nOut == TICK_UNSET) return 0;
    nMaxTicks = std::clamp(nMaxTicks, 0, TIMELINE_TAKE_MAX_TICKS);
    const int64_t nNow = FloorDiv(nNowUs, TIMELINE_TICK_US);
    CSurvey mic = Survey(m_sides[TIMELINE_MIC], nNowUs);
    CSurvey remote = Survey(m_sides[TIMELINE_REMOTE], nNowUs);
    const int64_t nDataEnd = std::max(mic.nDataEndTick, remote.nDataEndTick);

    int64_t nEnd = nOut;
    if (bDrain) {
        nEnd = nDataEnd;
    } else {
        // What the clock has passed can get no more audio.
        nEnd = std::max(nEnd, nNow - TIMELINE_DELAY_TICKS);
        // Senders faster than the clock: go as far as every delivering stream has come.
        if (nDataEnd >= nNow + TIMELINE_JITTER_TICKS)
            nEnd = std::max(nEnd, std::min({nDataEnd, mic.nFreshNextTick, remote.nFreshNextTick}));
    }
    nEnd = std::min(nEnd, nOut + nMaxTicks);
    if (nEnd <= nOut) return 0;
    const int nTicks = static_cast<int>(nEnd - nOut);

    Collect(m_sides[TIMELINE_MIC], true, nOut, nEnd, nNowUs, bDrain, m_sideSamples[TIMELINE_MIC]);
    Collect(m_sides[TIMELINE_REMOTE], false, nOut, nEnd, nNowUs, bDrain, m_sideSamples[TIMELINE_REMOTE]);
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

void CTimeline::Collect(CSide& side, bool bOneVoice, int64_t nOut, int64_t nEnd, int64_t nNowUs, bool bDrain,
                        int16_t* pSide) {
    const int64_t nFrom = nOut * TICK;
    const int64_t nTo = nEnd * TICK;
    const int nSamples = static_cast<int>(nTo - nFrom);
    std::fill(m_sums, m_sums + nSamples, 0);
    std::fill(m_counts, m_counts + nSamples, 0);
    std::fill(m_voice, m_voice + nSamples, 0.0f);
    std::fill(m_weights, m_weights + nSamples, 0.0f);
    {
        CLock lock(side.lock);
        // In the order the streams began: my side is taken from the oldest connection that has audio.
        CStream* order[TIMELINE_MAX_STREAMS];
        int nStreams = 0;
        for (CStream& s : side.streams)
            if (s.bUsed) order[nStreams++] = &s;
        std::sort(order, order + nStreams, [](const CStream* a, const CStream* b) { return a->nOrder < b->nOrder; });
        for (int i = 0; i < nStreams; ++i) {
            CStream& s = *order[i];
            DropBefore(side, s, nFrom);
            const bool bQuiet = nNowUs - s.nLastUs > JITTER_US;
            // A connection that has ended hands my side over to the next one gently.
            const int64_t nHandoverEnd = bDrain || bQuiet ? s.nReadSample + QueuedSamples(s) : TICK_NEVER;
            auto add = [&](int64_t nSample, int nValue) {
                const int64_t k = nSample - nFrom;
                if (!bOneVoice) {
                    m_sums[k] += nValue;
                    ++m_counts[k];
                    return;
                }
                float fWeight = 1.0f;
                if (nHandoverEnd - nSample < HANDOVER_SAMPLES)
                    fWeight = static_cast<float>(nHandoverEnd - nSample) / static_cast<float>(HANDOVER_SAMPLES);
                const float fTake = std::min(fWeight, 1.0f - m_weights[k]);
                if (fTake <= 0.0f) return;
                m_voice[k] += fTake * static_cast<float>(nValue);
                m_weights[k] += fTake;
            };
            while (s.nReadSample < nTo && !s.queue.IsEmpty()) {
                const int64_t nQueued = QueuedSamples(s);
                if (s.nSlideDir == 0 && s.nShiftSamples != s.nWantedShiftSamples) {
                    // A slide needs the samples it reads to be queued.
                    const bool bDrop = s.nWantedShiftSamples < s.nShiftSamples;
                    if (nQueued >= SLIDE_SAMPLES + 2) {
                        s.nSlideDir = bDrop ? 1 : -1;
                        s.nSlideStep = 0;
                    }
                }
                if (s.nSlideDir == 0) {
                    // On its place: the block's own samples, as they came.
                    const CBuffer* p = s.queue.At(0);
                    const int n = static_cast<int>(std::min<int64_t>(TICK - s.nSkipSamples, nTo - s.nReadSample));
                    if (p) {
                        const int16_t* pIn = p->Samples() + s.nSkipSamples;
                        for (int k = 0; k < n; ++k) add(s.nReadSample + k, pIn[k]);
                    }
                    s.nReadSample += n;
                    Consume(side, s, n);
                    continue;
                }
                // One sample dropped (or repeated) over SLIDE_SAMPLES: read between two neighbours.
                bool bCovered = false;
                bool bNext = false;
                const int x0 = SampleAt(s, 0, bCovered);
                const int x1 = nQueued > 1 ? SampleAt(s, 1, bNext) : x0;
                const int k = s.nSlideStep;
                int nValue;
                int nUsed;
                if (s.nSlideDir > 0) {
                    nValue = Lerp(x0, x1, k);
                    nUsed = k == SLIDE_SAMPLES - 1 ? 2 : 1;
                } else {
                    nValue = k == 0 ? x0 : Lerp(x0, x1, SLIDE_SAMPLES - k);
                    nUsed = k == 0 ? 0 : 1;
                }
                if (bCovered) add(s.nReadSample, nValue);
                ++s.nReadSample;
                Consume(side, s, static_cast<int>(std::min<int64_t>(nUsed, nQueued)));
                if (++s.nSlideStep == SLIDE_SAMPLES) {
                    s.nShiftSamples -= s.nSlideDir;
                    s.nSlideDir = 0;
                }
            }
            // A connection quiet for long, with nothing left, frees its place; until then
            // it is the same stream when it goes on, held up or not.
            if (s.queue.IsEmpty() && nNowUs - s.nLastUs > STREAM_KEPT_US) s.bUsed = false;
        }
        side.nOutTick = nEnd;
    }
    for (int k = 0; k < nSamples; ++k) {
        if (bOneVoice)
            pSide[k] = m_weights[k] > 0.0f ? Clamp16(static_cast<int32_t>(std::lround(m_voice[k] / m_weights[k]))) : 0;
        else
            pSide[k] = m_counts[k] > 1 ? Clamp16(m_sums[k] / m_counts[k]) : static_cast<int16_t>(m_sums[k]);
    }
}
