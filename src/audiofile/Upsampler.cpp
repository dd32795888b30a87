#include "audiofile/Upsampler.h"

#include <xmmintrin.h>

#include <cmath>
#include <cstring>

namespace {

constexpr double UPSAMPLER_PI = 3.14159265358979323846;
// The reach back from a pair's input sample.
constexpr int UPSAMPLER_BEHIND = UPSAMPLER_TAPS - 1 - UPSAMPLER_LOOKAHEAD;

// LAME's window, type for type: its float and double steps round where the
// encoder's do, so the coefficients come out bit for bit the same.
float Blackman(float x, float fcn, int l) {
    const float wcn = static_cast<float>(UPSAMPLER_PI * fcn);
    x /= static_cast<float>(l);
    if (x < 0) x = 0;
    if (x > 1) x = 1;
    const float x2 = static_cast<float>(x - .5);
    const float bkwn = static_cast<float>(0.42 - 0.5 * std::cos(2 * x * UPSAMPLER_PI) +
                                          0.08 * std::cos(4 * x * UPSAMPLER_PI));
    if (std::fabs(x2) < 1e-9) return static_cast<float>(wcn / UPSAMPLER_PI);
    return static_cast<float>(bkwn * std::sin(static_cast<double>(static_cast<float>(l) * wcn * x2)) /
                              (UPSAMPLER_PI * l * x2));
}

// Taps for the sample on input m (phase 0, centred on tap 15, which reads m) and
// for the one halfway to m+1 (phase 1, centred between taps 15 and 16), each
// normalised to a sum of one, as LAME normalises them.
struct CTaps {
    float phase[2][UPSAMPLER_TAPS];
    CTaps() {
        for (int p = 0; p < 2; ++p) {
            const float offset = p == 0 ? -0.5f : 0.0f;
            float sum = 0;
            for (int i = 0; i < UPSAMPLER_TAPS; ++i)
                sum += phase[p][i] = Blackman(i - offset, 1.0f, UPSAMPLER_TAPS - 1);
            for (float& tap : phase[p]) tap /= sum;
        }
    }
};

const CTaps& Taps() {
    static const CTaps taps;
    return taps;
}

}  // namespace

void CUpsampler::Reset(float fGain) {
    m_fGain = fGain;
    // The samples before the first one are silence.
    std::memset(m_input, 0, sizeof(float) * UPSAMPLER_BEHIND);
    m_nInput = UPSAMPLER_BEHIND;
}

int CUpsampler::Put(const int16_t* pIn, int nFrames, int nStride, float* pOut) {
    if (nFrames <= 0) return 0;
    if (nFrames > UPSAMPLER_MAX_FRAMES) nFrames = UPSAMPLER_MAX_FRAMES;
    float* pTo = m_input + m_nInput;
    for (int i = 0; i < nFrames; ++i) pTo[i] = pIn[i * nStride] * m_fGain;
    m_nInput += nFrames;
    return Filter(pOut);
}

int CUpsampler::Finish(float* pOut) {
    // Silence after the input until the waiting pairs, and no more, can be made.
    const int nSilence = UPSAMPLER_TAPS - 1 + UPSAMPLER_LOOKAHEAD - m_nInput;
    std::memset(m_input + m_nInput, 0, sizeof(float) * nSilence);
    m_nInput += nSilence;
    const int nOut = Filter(pOut);
    Reset(m_fGain);
    return nOut;
}

int CUpsampler::Filter(float* pOut) {
    const int nPairs = m_nInput - (UPSAMPLER_TAPS - 1);
    if (nPairs <= 0) return 0;
    const CTaps& taps = Taps();
    // Each sum adds its 32 products in tap order, as LAME's loop does; four
    // pairs side by side in the vector lanes keep that order in every lane.
    int n = 0;
    for (; n + 4 <= nPairs; n += 4) {
        __m128 on = _mm_setzero_ps(), half = _mm_setzero_ps();
        for (int i = 0; i < UPSAMPLER_TAPS; ++i) {
            const __m128 x = _mm_loadu_ps(m_input + n + i);
            on = _mm_add_ps(on, _mm_mul_ps(x, _mm_set1_ps(taps.phase[0][i])));
            half = _mm_add_ps(half, _mm_mul_ps(x, _mm_set1_ps(taps.phase[1][i])));
        }
        _mm_storeu_ps(pOut + 2 * n, _mm_unpacklo_ps(on, half));
        _mm_storeu_ps(pOut + 2 * n + 4, _mm_unpackhi_ps(on, half));
    }
    for (; n < nPairs; ++n) {
        float on = 0, half = 0;
        for (int i = 0; i < UPSAMPLER_TAPS; ++i) {
            on += m_input[n + i] * taps.phase[0][i];
            half += m_input[n + i] * taps.phase[1][i];
        }
        pOut[2 * n] = on;
        pOut[2 * n + 1] = half;
    }
    // Keep what the next pairs reach back to.
    std::memmove(m_input, m_input + nPairs, sizeof(float) * (m_nInput - nPairs));
    m_nInput -= nPairs;
    return 2 * nPairs;
}
