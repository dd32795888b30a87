#pragma once
// An IWriteToFile that keeps every buffer written, for checking the mixer's output.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "audio/Recorder.h"
#include "audiofile/WriteToFile.h"
#include "base/Lock.h"

class CRecordingWriter : public IWriteToFile {
public:
    bool Write(const CBuffer* pBuffer) override {
        CLock lock(m_cs);
        if (m_bClosed) {
            ++m_nWritesAfterClose;
            return false;
        }
        m_writes.emplace_back(pBuffer->m_pData, pBuffer->m_pData + pBuffer->m_nSize);
        return true;
    }
    bool Close() override {
        CLock lock(m_cs);
        ++m_nCloses;
        m_bClosed = true;
        return true;
    }
    size_t Count() {
        CLock lock(m_cs);
        return m_writes.size();
    }
    std::vector<uint8_t> At(size_t i) {
        CLock lock(m_cs);
        return m_writes.at(i);
    }
    // All samples written, in order.
    std::vector<int16_t> Samples() {
        CLock lock(m_cs);
        std::vector<int16_t> out;
        for (const auto& w : m_writes) {
            size_t n = w.size() / 2;
            size_t nOld = out.size();
            out.resize(nOld + n);
            std::memcpy(out.data() + nOld, w.data(), n * 2);
        }
        return out;
    }
    int Closes() {
        CLock lock(m_cs);
        return m_nCloses;
    }

private:
    CCriticalSection m_cs;
    std::vector<std::vector<uint8_t>> m_writes;
    bool m_bClosed = false;
    int m_nCloses = 0;
    int m_nWritesAfterClose = 0;
};

// A 320-byte block whose samples are nBase, nBase+1, ... (or one value throughout).
inline std::vector<uint8_t> RampBlock(int16_t nBase) {
    std::vector<uint8_t> bytes(320);
    for (int k = 0; k < 160; ++k) {
        int16_t s = static_cast<int16_t>(nBase + k);
        std::memcpy(&bytes[2 * k], &s, 2);
    }
    return bytes;
}

inline std::vector<uint8_t> FlatBlock(int16_t nValue) {
    std::vector<uint8_t> bytes(320);
    for (int k = 0; k < 160; ++k) std::memcpy(&bytes[2 * k], &nValue, 2);
    return bytes;
}

// Starts a recorder into a writer of the test's own (the recorder keeps that start to itself).
struct CRecorderSeam : CRecorder {
    static bool StartWith(CRecorder& recorder, IWriteToFile* pWriter, bool bStereo, int nRecordSide = RECSIDE_BOTH) {
        return (recorder.*(&CRecorderSeam::StartWithWriter))(pWriter, bStereo, nRecordSide);
    }
};
