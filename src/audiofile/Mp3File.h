#pragma once
// MP3 writer: encodes 16 kHz PCM (mono, or interleaved stereo) with LAME as
// constant-bit-rate MP3 and appends the frames to the file as they come out.
#include <cstdint>
#include <cstdio>

#include "audiofile/WriteToFile.h"

struct lame_global_struct;

// Input rate of every recording: Skype's call audio.
constexpr int MP3_INPUT_SAMPLE_RATE = 16000;
// Channel modes as the recorder passes them.
constexpr int MP3_CHANNEL_MONO = 0;
constexpr int MP3_CHANNEL_STEREO = 1;
constexpr int MP3_CHANNEL_JOINT_STEREO = 2;

class CMp3File : public IWriteToFile {
public:
    CMp3File() = default;
    ~CMp3File() override;
    CMp3File(const CMp3File&) = delete;
    CMp3File& operator=(const CMp3File&) = delete;

    // Creates (or empties) the file and sets up the encoder. nChannelMode: 0 mono,
    // 1 stereo, 2 joint stereo (anything else mono); nOutSampleRate 0 lets the
    // encoder choose. A file that cannot be created is reported in a message box.
    bool Open(const wchar_t* pszPath, int nChannelMode, int nOutSampleRate, int nBitrateKbps);
    bool Write(const CBuffer* pBuffer) override;
    bool Close() override;

    bool IsOpen() const { return !m_bClosed; }
    // Channel count the encoder expects in each Write (valid while open).
    int GetChannels() const { return m_nChannels; }

private:
    void Finish();

    FILE* m_pFile = nullptr;
    uint8_t* m_pOutBuffer = nullptr;
    int m_nOutBufferSize = 0;
    lame_global_struct* m_hStream = nullptr;
    uint32_t m_dwFlushed = 0;
    int m_nChannels = 0;
    bool m_bClosed = true;
};
