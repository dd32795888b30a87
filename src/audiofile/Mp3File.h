#pragma once
// MP3 writer: encodes 16 kHz PCM (mono, or interleaved stereo) with LAME as
// constant-bit-rate MP3 and appends the frames to the file as they come out.
// What has been encoded reaches the disk four times a second, so a process
// that dies loses less than a second; every write, flush and close is checked.
#include <cstdint>
#include <cstdio>
#include <string>

#include <windows.h>

#include "audiofile/Upsampler.h"
#include "audiofile/WriteToFile.h"

struct lame_global_struct;

// Input rate of every recording: Skype's call audio.
constexpr int MP3_INPUT_SAMPLE_RATE = 16000;
// Channel modes as the recorder passes them.
constexpr int MP3_CHANNEL_MONO = 0;
constexpr int MP3_CHANNEL_STEREO = 1;
constexpr int MP3_CHANNEL_JOINT_STEREO = 2;

// What a recording says about itself: an ID3v2 tag with UTF-16 texts at the
// start of the file. Empty texts are left out; a zero wYear leaves out the date.
struct Mp3Tags {
    std::wstring strTitle;
    std::wstring strArtist;
    std::wstring strAlbum;
    std::wstring strComment;
    SYSTEMTIME stRecorded{};  // local time of the recording
};

// Replaces the ID3v2 tag at the start of a finished file in place, keeping its
// size, so the audio behind it is never moved. False (file untouched) when the
// file has no tag of ours or the new texts do not fit into it.
bool RewriteMp3Tags(const wchar_t* pszPath, const Mp3Tags& tags);

class CMp3File : public IWriteToFile {
public:
    CMp3File() = default;
    ~CMp3File() override;
    CMp3File(const CMp3File&) = delete;
    CMp3File& operator=(const CMp3File&) = delete;

    // Creates a new file and sets up the encoder. A file that exists is never
    // opened: the name gets " (2)", " (3)"... before its extension (GetPath).
    // nChannelMode: 0 mono, 1 stereo, 2 joint stereo (anything else mono);
    // nOutSampleRate 0 lets the encoder choose. On failure nothing is shown and
    // the thread's last error holds the reason: the system's, or AUDIOERR_ENCODER_REFUSED.
    // With pTags the file begins with their ID3v2 tag, padded so that later
    // texts (a partner joining, a name learnt) can replace it in place.
    bool Open(const wchar_t* pszPath, int nChannelMode, int nOutSampleRate, int nBitrateKbps,
              const Mp3Tags* pTags = nullptr);
    bool Write(const CBuffer* pBuffer) override;
    bool Close() override;

    bool IsOpen() const { return !m_bClosed; }
    // The file the last successful Open created.
    const std::wstring& GetPath() const { return m_strPath; }
    // The system's error code of the first write, flush or close that failed; 0 when none did.
    DWORD GetFailure() const { return m_dwFailure; }
    // Seconds of audio whose frames are known to have reached the disk.
    double GetSecondsOnDisk() const;
    // Channel count the encoder expects in each Write (valid while open).
    int GetChannels() const { return m_nChannels; }

private:
    bool Encode(const int16_t* pSamples, int nFrames);
    int EncodeDoubled(int nSamples);
    bool PutEncoded(int nBytes);
    bool Finish();
    bool PutOut(const uint8_t* pData, size_t nBytes);
    bool FlushToDisk();
    void Fail(DWORD dwOwnError);

    FILE* m_pFile = nullptr;
    std::wstring m_strPath;
    uint8_t* m_pOutBuffer = nullptr;
    int m_nOutBufferSize = 0;
    lame_global_struct* m_hStream = nullptr;
    uint32_t m_dwFlushed = 0;
    int m_nChannels = 0;
    bool m_bClosed = true;
    DWORD m_dwFailure = 0;
    std::wstring m_strFolder;  // where the file is: its drive's free space explains a short write
    // Frames per channel handed to the encoder, and how many of them were on disk at the last flush.
    uint64_t m_nFramesIn = 0;
    uint64_t m_nFramesOnDisk = 0;
    uint64_t m_nLastFlushMs = 0;
    // At twice the input rate the writer doubles the rate itself (see Upsampler.h).
    bool m_bDoubleRate = false;
    CUpsampler m_upsampler[2];
    float m_doubled[2][2 * UPSAMPLER_MAX_FRAMES];
};
