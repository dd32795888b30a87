#pragma once
// Doubles the sample rate of one channel of 16-bit PCM with the interpolation
// LAME itself uses between 16 and 32 kHz: a 32-tap Blackman-windowed sinc, the
// same coefficients and the same single-precision sums. Handed the doubled rate,
// the encoder makes the very frames it makes when it resamples on its own, and
// the whole encoding costs a fifth less: LAME's resampler serves any pair of
// rates and makes every output sample alone; this one works four at a time.
// Output 2m lies at input m's time, output 2m+1 halfway to input m+1.
#include <cstdint>

// The most input samples one Put takes.
constexpr int UPSAMPLER_MAX_FRAMES = 2304;
constexpr int UPSAMPLER_TAPS = 32;
// Input samples the filter reaches past the pair it makes: a pair waits for them.
constexpr int UPSAMPLER_LOOKAHEAD = UPSAMPLER_TAPS / 2;
// What Finish puts out: the pairs still waiting for their lookahead.
constexpr int UPSAMPLER_TAIL = 2 * UPSAMPLER_LOOKAHEAD;

class CUpsampler {
public:
    CUpsampler() { Reset(1.0f); }

    // A new stream: silence before its first sample. Each sample is scaled by
    // fGain first, as LAME scales the samples before it resamples them.
    void Reset(float fGain);
    // Takes nFrames (up to UPSAMPLER_MAX_FRAMES) samples, every nStride'th of pIn,
    // and puts out the pairs whose lookahead is now there: at most 2 * nFrames
    // samples into pOut. Returns how many.
    int Put(const int16_t* pIn, int nFrames, int nStride, float* pOut);
    // The end of the stream: the last UPSAMPLER_LOOKAHEAD pairs, as if silence
    // followed, UPSAMPLER_TAIL samples into pOut, as LAME's own flush gives them.
    // Returns UPSAMPLER_TAIL; the stream starts anew after it.
    int Finish(float* pOut);

private:
    int Filter(float* pOut);

    // Input from the first sample the next pair reaches back to, then new samples.
    float m_input[UPSAMPLER_TAPS - 1 + UPSAMPLER_MAX_FRAMES + UPSAMPLER_TAPS];
    int m_nInput = 0;
    float m_fGain = 1.0f;
};
