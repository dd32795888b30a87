#pragma once
// A run of audio bytes: signed 16-bit little-endian samples, two-channel data
// interleaved with the first channel first.
#include <cstdint>

class CBuffer {
public:
    // Empty: no data; the creator points it at memory it manages itself.
    CBuffer() = default;
    // Sized: owns nLength uninitialised bytes (none for a length of 0 or less).
    explicit CBuffer(int nLength);
    virtual ~CBuffer();
    CBuffer(const CBuffer&) = delete;
    CBuffer& operator=(const CBuffer&) = delete;

    int16_t* Samples() const { return reinterpret_cast<int16_t*>(m_pData); }
    int SampleCount() const { return m_nSize / 2; }

    uint8_t* m_pData = nullptr;
    int32_t m_nSize = 0;
    bool m_bOwnData = false;
};
