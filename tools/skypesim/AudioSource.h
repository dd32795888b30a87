#pragma once
// What a simulated call side sounds like: a sine tone, silence, short tone bursts
// once a second, or a WAV file, delivered as 10 ms blocks of 16 kHz 16-bit mono PCM.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

constexpr int SIM_SAMPLE_RATE = 16000;
constexpr int SIM_BLOCK_SAMPLES = 160;
constexpr int SIM_BLOCK_BYTES = SIM_BLOCK_SAMPLES * 2;

enum ESourceKind { SOURCE_TONE, SOURCE_SILENCE, SOURCE_WAV, SOURCE_BURST };

// A burst source sounds for this long at the start of every second of its stream.
constexpr int SIM_BURST_SAMPLES = 800;

struct SimSourceDesc {
    ESourceKind eKind = SOURCE_TONE;
    double dFrequency = 440.0;
    int nAmplitude = 8000;
    std::wstring strPath;
    // A second copy of my microphone: every sample scaled by dGain, and the sound
    // dLagMs behind the first copy's on the same sample count.
    double dGain = 1.0;
    double dLagMs = 0;
};

// Parses "tone:FREQ[:AMPLITUDE]", "burst:FREQ[:AMPLITUDE]", "silence" or "wav:PATH"; a WAV file is opened
// and checked here so that an unusable one is reported before anything runs.
bool ParseSourceDesc(const std::wstring& strText, SimSourceDesc& sourceDesc, std::wstring& strError);

class CAudioSource {
public:
    // Fails (null, with a reason) only for a WAV file that cannot be used.
    static std::unique_ptr<CAudioSource> Create(const SimSourceDesc& sourceDesc, std::wstring& strError);

    // Writes the next block: 320 bytes, little-endian samples.
    void NextBlock(uint8_t* pBlock);
    // Moves on by nSamples without sending them: the stream's time goes on.
    void Skip(uint64_t nSamples) { m_nSample += nSamples; }

private:
    CAudioSource() = default;

    SimSourceDesc m_desc;
    uint64_t m_nSample = 0;  // index of the next sample, keeps the tone's phase continuous
    std::vector<int16_t> m_samples;  // WAV data
};

// Reads a PCM WAV file that must be 16 kHz, mono, 16-bit.
bool LoadWav16kMono(const std::wstring& strPath, std::vector<int16_t>& samples, std::wstring& strError);
