#include <gtest/gtest.h>
#include <lame/lame.h>

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "audiofile/AudioErrors.h"
#include "audiofile/Mp3File.h"
#include "audiofile/Mp3Info.h"
#include "base/Notifier.h"

namespace {

std::vector<unsigned char> ReadAll(const std::wstring& strPath) {
    std::vector<unsigned char> data;
    FILE* pFile = ::_wfopen(strPath.c_str(), L"rb");
    if (!pFile) return data;
    unsigned char chunk[4096];
    size_t n;
    while ((n = ::fread(chunk, 1, sizeof(chunk), pFile)) > 0) data.insert(data.end(), chunk, chunk + n);
    ::fclose(pFile);
    return data;
}

bool Contains(const std::vector<unsigned char>& data, const std::wstring& strText) {
    const auto* p = reinterpret_cast<const unsigned char*>(strText.data());
    return std::search(data.begin(), data.end(), p, p + strText.size() * 2) != data.end();
}

std::wstring TempPath(const wchar_t* pszName) {
    wchar_t szDir[MAX_PATH];
    ::GetTempPathW(MAX_PATH, szDir);
    return std::wstring(szDir) + pszName;
}

long long FileSize(const std::wstring& strPath) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(strPath.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// 10 ms of a tone, interleaved when two channels are asked for.
void FillTone(CBuffer& buffer, int nChannels, int nStart) {
    int nFrames = buffer.m_nSize / 2 / nChannels;
    for (int i = 0; i < nFrames; ++i)
        for (int c = 0; c < nChannels; ++c)
            buffer.Samples()[i * nChannels + c] =
                static_cast<int16_t>(8000 * std::sin(2 * 3.14159265 * 440 * (nStart + i) / 16000.0));
}

// Counts MPEG audio frame headers of one layer III stream, checking each frame's length.
struct CFrameScan {
    int nFrames = 0;
    int nBitrate = 0;
    int nSampleRate = 0;
    int nChannelMode = -1;
    bool bConsistent = true;
};

CFrameScan ScanFrames(const std::wstring& strPath) {
    CFrameScan scan;
    FILE* pFile = ::_wfopen(strPath.c_str(), L"rb");
    if (!pFile) return scan;
    std::vector<unsigned char> data;
    unsigned char chunk[4096];
    size_t n;
    while ((n = ::fread(chunk, 1, sizeof(chunk), pFile)) > 0) data.insert(data.end(), chunk, chunk + n);
    ::fclose(pFile);
    static const int kRates1[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
    static const int kRates2[] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};
    static const int kFreq1[] = {44100, 48000, 32000, 0};
    size_t pos = 0;
    while (pos + 4 <= data.size()) {
        const unsigned char* h = &data[pos];
        if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) {
            scan.bConsistent = false;
            break;
        }
        bool bMpeg1 = (h[1] & 0x18) == 0x18;
        int nRate = (bMpeg1 ? kRates1 : kRates2)[h[2] >> 4];
        int nFreq = kFreq1[(h[2] >> 2) & 3] / (bMpeg1 ? 1 : 2);
        int nPad = (h[2] >> 1) & 1;
        if (!nRate || !nFreq) {
            scan.bConsistent = false;
            break;
        }
        int nLen = (bMpeg1 ? 144 : 72) * nRate * 1000 / nFreq + nPad;
        if (scan.nFrames == 0) {
            scan.nBitrate = nRate;
            scan.nSampleRate = nFreq;
            scan.nChannelMode = h[3] >> 6;
        } else if (nRate != scan.nBitrate || nFreq != scan.nSampleRate) {
            scan.bConsistent = false;
        }
        ++scan.nFrames;
        pos += nLen;
    }
    if (pos != data.size()) scan.bConsistent = false;
    return scan;
}

class Mp3FileTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_previous = SetNotifier([this](HWND hOwner, const std::wstring& text, const std::wstring& caption,
                                        UINT uType) {
            m_nBoxes++;
            m_hOwner = hOwner;
            m_strText = text;
            m_strCaption = caption;
            m_uType = uType;
            return IDOK;
        });
    }
    void TearDown() override { SetNotifier(m_previous); }

    NotifierFn m_previous;
    int m_nBoxes = 0;
    HWND m_hOwner = reinterpret_cast<HWND>(1);
    std::wstring m_strText, m_strCaption;
    UINT m_uType = 0;
};

}  // namespace

TEST_F(Mp3FileTest, StereoRecordingIsConstantBitRateAtTheRequestedRate) {
    std::wstring strPath = TempPath(L"ombra_mp3_stereo.mp3");
    CMp3File file;
    ASSERT_TRUE(file.Open(strPath.c_str(), MP3_CHANNEL_STEREO, 32000, 64));
    EXPECT_EQ(file.GetChannels(), 2);
    CBuffer block(640);
    for (int i = 0; i < 200; ++i) {  // two seconds
        FillTone(block, 2, i * 160);
        ASSERT_TRUE(file.Write(&block));
    }
    EXPECT_TRUE(file.Close());
    CFrameScan scan = ScanFrames(strPath);
    EXPECT_TRUE(scan.bConsistent);
    EXPECT_EQ(scan.nBitrate, 64);
    EXPECT_EQ(scan.nSampleRate, 32000);
    EXPECT_EQ(scan.nChannelMode, 0);  // plain stereo
    // 2 s at 32 kHz is 55.6 frames of 1152 samples, plus the encoder's delay and padding.
    EXPECT_GE(scan.nFrames, 56);
    EXPECT_LE(scan.nFrames, 60);
    ::DeleteFileW(strPath.c_str());
}

namespace {

// Speech-like: two tones under a slow swell, with noise, different on each channel.
std::vector<int16_t> SpeechLike(int nFrames, int nChannels) {
    std::vector<int16_t> pcm(static_cast<size_t>(nFrames) * nChannels);
    uint32_t seed = 7;
    for (int i = 0; i < nFrames; ++i) {
        double t = i / 16000.0, swell = 0.5 + 0.5 * std::sin(2 * 3.14159265 * 0.9 * t);
        for (int c = 0; c < nChannels; ++c) {
            seed = seed * 1664525u + 1013904223u;
            double tone = std::sin(2 * 3.14159265 * (c ? 1000 : 440) * t) + 0.4 * std::sin(2 * 3.14159265 * 2900 * t);
            pcm[i * nChannels + c] = static_cast<int16_t>(swell * 9000 * tone + (static_cast<int>(seed >> 21) - 1024));
        }
    }
    return pcm;
}

// The file as LAME makes it when it goes from 16 to 32 kHz itself, set up as the writer sets it up.
std::vector<unsigned char> EncodeResamplingInLame(const std::vector<int16_t>& pcm, int nMode, int nKbps) {
    const int nChannels = nMode ? 2 : 1;
    lame_t h = lame_init();
    lame_set_preset(h, nKbps);
    lame_set_VBR(h, vbr_off);
    lame_set_in_samplerate(h, 16000);
    lame_set_num_channels(h, nChannels);
    lame_set_mode(h, nMode == 2 ? JOINT_STEREO : nMode == 1 ? STEREO : MONO);
    lame_set_out_samplerate(h, 32000);
    lame_set_brate(h, nKbps);
    lame_set_copyright(h, 0);
    lame_set_original(h, 1);
    lame_set_error_protection(h, 0);
    lame_set_emphasis(h, 0);
    lame_set_disable_reservoir(h, 1);
    lame_set_bWriteVbrTag(h, 0);
    lame_set_write_id3tag_automatic(h, 0);
    std::vector<unsigned char> out;
    if (lame_init_params(h) != 0) return out;
    const int nFrames = static_cast<int>(pcm.size()) / nChannels;
    std::vector<unsigned char> buffer(nFrames * 5 / 4 + 7200);
    short* pPcm = const_cast<short*>(pcm.data());
    int n = nChannels == 2 ? lame_encode_buffer_interleaved(h, pPcm, nFrames, buffer.data(), buffer.size())
                           : lame_encode_buffer(h, pPcm, pPcm, nFrames, buffer.data(), buffer.size());
    out.assign(buffer.begin(), buffer.begin() + std::max(n, 0));
    n = lame_encode_flush(h, buffer.data(), buffer.size());
    out.insert(out.end(), buffer.begin(), buffer.begin() + std::max(n, 0));
    lame_close(h);
    return out;
}

}  // namespace

// At 32 kHz the writer doubles the rate itself: the frames must be the ones LAME
// makes resampling on its own, whatever the pieces the audio comes in. Only the
// last two may differ: past the end LAME's flush carries the filter's ringing,
// the writer's flush silence.
TEST_F(Mp3FileTest, DoubledRateGivesTheFramesOfLamesOwnResampling) {
    struct {
        int nMode, nKbps;
    } cases[] = {{MP3_CHANNEL_STEREO, 64}, {MP3_CHANNEL_MONO, 32}, {MP3_CHANNEL_JOINT_STEREO, 128}};
    for (const auto& c : cases) {
        const int nChannels = c.nMode ? 2 : 1;
        const size_t nFrameBytes = 144 * c.nKbps * 1000 / 32000;  // no padding at 32 kHz
        std::vector<int16_t> pcm = SpeechLike(16000 * 4, nChannels);
        std::vector<unsigned char> expected = EncodeResamplingInLame(pcm, c.nMode, c.nKbps);
        std::wstring strPath = TempPath(L"ombra_mp3_doubled.mp3");
        CMp3File file;
        ASSERT_TRUE(file.Open(strPath.c_str(), c.nMode, 32000, c.nKbps));
        // 10 ms blocks, then pieces longer than the writer's own, then odd ones.
        size_t nPos = 0;
        for (int nPiece : {160, 160, 160, 7000, 3 * 2304 + 5, 1, 17, 160, 1000000}) {
            CBuffer piece;
            piece.m_pData = reinterpret_cast<uint8_t*>(&pcm[nPos]);
            piece.m_nSize = static_cast<int32_t>(std::min<size_t>(nPiece * nChannels, pcm.size() - nPos) * 2);
            ASSERT_TRUE(file.Write(&piece));
            nPos += piece.m_nSize / 2;
        }
        ASSERT_TRUE(file.Close());
        std::vector<unsigned char> written = ReadAll(strPath);
        ::DeleteFileW(strPath.c_str());
        ASSERT_EQ(written.size(), expected.size()) << c.nMode;
        ASSERT_GT(written.size(), 100 * nFrameBytes);
        size_t nSame = std::mismatch(written.begin(), written.end(), expected.begin()).first - written.begin();
        EXPECT_GE(nSame, written.size() - 2 * nFrameBytes)
            << "mode " << c.nMode << ": first difference in frame " << nSame / nFrameBytes << " of "
            << written.size() / nFrameBytes;
    }
}

TEST_F(Mp3FileTest, ChannelModesMapToMonoStereoAndJointStereo) {
    struct {
        int nMode;
        int nChannels;
        int nHeaderMode;
    } cases[] = {{0, 1, 3}, {1, 2, 0}, {2, 2, 1}, {7, 1, 3}};
    for (const auto& c : cases) {
        std::wstring strPath = TempPath(L"ombra_mp3_mode.mp3");
        CMp3File file;
        ASSERT_TRUE(file.Open(strPath.c_str(), c.nMode, 44100, 128)) << c.nMode;
        EXPECT_EQ(file.GetChannels(), c.nChannels);
        CBuffer block(320 * c.nChannels);
        for (int i = 0; i < 100; ++i) {
            FillTone(block, c.nChannels, i * 160);
            file.Write(&block);
        }
        file.Close();
        CFrameScan scan = ScanFrames(strPath);
        EXPECT_TRUE(scan.bConsistent) << c.nMode;
        EXPECT_EQ(scan.nChannelMode, c.nHeaderMode) << c.nMode;
        EXPECT_EQ(scan.nBitrate, 128) << c.nMode;
        ::DeleteFileW(strPath.c_str());
    }
}

TEST_F(Mp3FileTest, StopBeforeAnyBlockLeavesOnlyTheFlush) {
    std::wstring strPath = TempPath(L"ombra_mp3_empty.mp3");
    CMp3File file;
    ASSERT_TRUE(file.Open(strPath.c_str(), MP3_CHANNEL_STEREO, 32000, 64));
    EXPECT_EQ(FileSize(strPath), 0);
    EXPECT_TRUE(file.Close());
    CFrameScan scan = ScanFrames(strPath);
    EXPECT_TRUE(scan.bConsistent);
    EXPECT_LE(scan.nFrames, 3);
    ::DeleteFileW(strPath.c_str());
}

// The tag leads the file from its opening on; the recovery still counts only the
// audio, and a retag changes the tag's texts without moving a byte of audio.
TEST_F(Mp3FileTest, TagLeadsTheFileAndIsRewrittenInPlace) {
    std::wstring strPath = TempPath(L"ombra_mp3_tags.mp3");
    Mp3Tags tags;
    tags.strTitle = L"Call with \u0411\u043e\u0440\u0438\u0441";
    tags.stRecorded.wYear = 2026;
    CMp3File file;
    ASSERT_TRUE(file.Open(strPath.c_str(), MP3_CHANNEL_STEREO, 32000, 64, &tags));
    std::vector<unsigned char> opened = ReadAll(strPath);
    ASSERT_GT(opened.size(), 1024u);
    EXPECT_EQ(std::string(opened.begin(), opened.begin() + 4), std::string("ID3\x03", 4));
    CBuffer block(640);
    for (int i = 0; i < 100; ++i) {  // one second
        FillTone(block, 2, i * 160);
        ASSERT_TRUE(file.Write(&block));
    }
    ASSERT_TRUE(file.Close());
    EXPECT_NEAR(GetMp3Duration(strPath), 1.0, 0.1);

    std::vector<unsigned char> before = ReadAll(strPath);
    tags.strTitle += L" | \u738b\u5c0f\u660e | carol | dave";
    ASSERT_TRUE(RewriteMp3Tags(strPath.c_str(), tags));
    std::vector<unsigned char> after = ReadAll(strPath);
    ASSERT_EQ(after.size(), before.size());
    EXPECT_TRUE(std::equal(after.begin() + opened.size(), after.end(), before.begin() + opened.size()));
    EXPECT_TRUE(Contains(after, tags.strTitle));

    tags.strTitle.assign(2000, L'x');  // does not fit: the file keeps its tag
    EXPECT_FALSE(RewriteMp3Tags(strPath.c_str(), tags));
    EXPECT_EQ(ReadAll(strPath), after);
    ::DeleteFileW(strPath.c_str());
}

TEST_F(Mp3FileTest, WriteAfterCloseFailsWith4355AndLeavesTheFile) {
    std::wstring strPath = TempPath(L"ombra_mp3_closed.mp3");
    CMp3File file;
    CBuffer block(320);
    FillTone(block, 1, 0);
    ::SetLastError(0);
    EXPECT_FALSE(file.Write(&block));  // never opened
    EXPECT_EQ(::GetLastError(), AUDIOERR_WRITER_CLOSED);

    ASSERT_TRUE(file.Open(strPath.c_str(), MP3_CHANNEL_MONO, 16000, 32));
    for (int i = 0; i < 50; ++i) EXPECT_TRUE(file.Write(&block));
    EXPECT_TRUE(file.Close());
    long long nSize = FileSize(strPath);
    EXPECT_GT(nSize, 0);
    ::SetLastError(0);
    EXPECT_FALSE(file.Write(&block));
    EXPECT_EQ(::GetLastError(), AUDIOERR_WRITER_CLOSED);
    EXPECT_EQ(FileSize(strPath), nSize);
    ::DeleteFileW(strPath.c_str());
}

TEST_F(Mp3FileTest, CloseOnANeverOpenedOrClosedWriterSucceedsAndChangesNothing) {
    CMp3File never;
    EXPECT_TRUE(never.Close());
    EXPECT_TRUE(never.Close());

    std::wstring strPath = TempPath(L"ombra_mp3_twice.mp3");
    CMp3File file;
    ASSERT_TRUE(file.Open(strPath.c_str(), MP3_CHANNEL_MONO, 16000, 32));
    CBuffer block(320);
    FillTone(block, 1, 0);
    file.Write(&block);
    EXPECT_TRUE(file.Close());
    long long nSize = FileSize(strPath);
    EXPECT_TRUE(file.Close());
    EXPECT_EQ(FileSize(strPath), nSize);
    EXPECT_FALSE(file.IsOpen());
    ::DeleteFileW(strPath.c_str());
}

TEST_F(Mp3FileTest, WriterCanBeReopenedForTheNextRecording) {
    std::wstring strA = TempPath(L"ombra_mp3_a.mp3"), strB = TempPath(L"ombra_mp3_b.mp3");
    CMp3File file;
    CBuffer block(640);
    FillTone(block, 2, 0);
    ASSERT_TRUE(file.Open(strA.c_str(), MP3_CHANNEL_STEREO, 32000, 64));
    for (int i = 0; i < 100; ++i) file.Write(&block);
    file.Close();
    ASSERT_TRUE(file.Open(strB.c_str(), MP3_CHANNEL_STEREO, 48000, 96));
    for (int i = 0; i < 100; ++i) file.Write(&block);
    file.Close();
    EXPECT_EQ(ScanFrames(strA).nSampleRate, 32000);
    EXPECT_EQ(ScanFrames(strB).nSampleRate, 48000);
    EXPECT_EQ(ScanFrames(strB).nBitrate, 96);
    ::DeleteFileW(strA.c_str());
    ::DeleteFileW(strB.c_str());
}

TEST_F(Mp3FileTest, DestructorFinishesAnOpenFile) {
    std::wstring strPath = TempPath(L"ombra_mp3_dtor.mp3");
    {
        CMp3File file;
        ASSERT_TRUE(file.Open(strPath.c_str(), MP3_CHANNEL_MONO, 16000, 32));
        CBuffer block(320);
        FillTone(block, 1, 0);
        for (int i = 0; i < 100; ++i) file.Write(&block);
    }
    // The file is closed: it can be deleted, and its frames are complete.
    CFrameScan scan = ScanFrames(strPath);
    EXPECT_TRUE(scan.bConsistent);
    EXPECT_GT(scan.nFrames, 0);
    EXPECT_TRUE(::DeleteFileW(strPath.c_str()));
}

TEST_F(Mp3FileTest, FileThatCannotBeCreatedGivesTheSystemReasonWithoutABox) {
    std::wstring strPath = TempPath(L"no_such_folder_ombra\\x.mp3");
    CMp3File file;
    ::SetLastError(0);
    EXPECT_FALSE(file.Open(strPath.c_str(), MP3_CHANNEL_STEREO, 32000, 64));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(m_nBoxes, 0);  // the recording's starter tells the user
    EXPECT_FALSE(file.IsOpen());
    CBuffer block(320);
    ::SetLastError(0);
    EXPECT_FALSE(file.Write(&block));
    EXPECT_EQ(::GetLastError(), AUDIOERR_WRITER_CLOSED);
}

// Two recordings of one partner in one second, or a clock set back: a name that is
// taken gets a number, and the file that holds it keeps every byte.
TEST_F(Mp3FileTest, TakenNameGetsANumberAndTheFileThereKeepsItsBytes) {
    const std::wstring strPath = TempPath(L"ombra_taken.mp3");
    const std::wstring strSecond = TempPath(L"ombra_taken (2).mp3"), strThird = TempPath(L"ombra_taken (3).mp3");
    for (const std::wstring& str : {strPath, strSecond, strThird}) ::DeleteFileW(str.c_str());
    const std::string strOld = "an earlier recording";
    FILE* pOld = ::_wfopen(strPath.c_str(), L"wb");
    ASSERT_NE(pOld, nullptr);
    ::fwrite(strOld.data(), 1, strOld.size(), pOld);
    ::fclose(pOld);

    CMp3File file;
    CBuffer block(640);
    FillTone(block, 2, 0);
    ASSERT_TRUE(file.Open(strPath.c_str(), MP3_CHANNEL_STEREO, 32000, 64));
    EXPECT_EQ(file.GetPath(), strSecond);
    for (int i = 0; i < 100; ++i) file.Write(&block);
    EXPECT_TRUE(file.Close());
    ASSERT_TRUE(file.Open(strPath.c_str(), MP3_CHANNEL_STEREO, 32000, 64));
    EXPECT_EQ(file.GetPath(), strThird);
    EXPECT_TRUE(file.Close());

    const std::vector<unsigned char> old = ReadAll(strPath);
    EXPECT_EQ(std::string(old.begin(), old.end()), strOld);
    CFrameScan scan = ScanFrames(strSecond);
    EXPECT_TRUE(scan.bConsistent);
    EXPECT_GE(scan.nFrames, 28);  // 1 s at 32 kHz
    EXPECT_EQ(m_nBoxes, 0);
    for (const std::wstring& str : {strPath, strSecond, strThird}) EXPECT_TRUE(::DeleteFileW(str.c_str()));
}

TEST_F(Mp3FileTest, NullPathIsRefusedWithoutABox) {
    CMp3File file;
    EXPECT_FALSE(file.Open(nullptr, MP3_CHANNEL_STEREO, 32000, 64));
    EXPECT_EQ(m_nBoxes, 0);
}

TEST_F(Mp3FileTest, EncoderRefusingTheSettingsLeavesTheEmptyFileWithoutABox) {
    std::wstring strPath = TempPath(L"ombra_mp3_refused.mp3");
    CMp3File file;
    // 12345 Hz is no MPEG sample rate.
    ::SetLastError(0);
    EXPECT_FALSE(file.Open(strPath.c_str(), MP3_CHANNEL_STEREO, 12345, 64));
    EXPECT_EQ(::GetLastError(), AUDIOERR_ENCODER_REFUSED);
    EXPECT_EQ(m_nBoxes, 0);
    EXPECT_EQ(FileSize(strPath), 0);
    EXPECT_FALSE(file.IsOpen());
    ::DeleteFileW(strPath.c_str());
}
