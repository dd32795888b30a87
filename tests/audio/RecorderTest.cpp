#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>

#include "audio/AudioServer.h"
#include "audio/BufferPool.h"
#include "audio/Recorder.h"
#include "audiofile/AudioErrors.h"
#include "base/Notifier.h"
#include "RecordingWriter.h"

namespace {

// A non-owning block over test bytes, as a service thread hands it over.
bool AddMic(CRecorder& recorder, const std::vector<uint8_t>& bytes) {
    CBuffer block;
    block.m_pData = const_cast<uint8_t*>(bytes.data());
    block.m_nSize = static_cast<int>(bytes.size());
    return recorder.AddMicBlock(&block);
}

bool AddRemote(CRecorder& recorder, const std::vector<uint8_t>& bytes) {
    CBuffer block;
    block.m_pData = const_cast<uint8_t*>(bytes.data());
    block.m_nSize = static_cast<int>(bytes.size());
    return recorder.AddRemoteBlock(&block);
}

// 10 ms ticks a stereo writer got.
size_t Ticks(CRecordingWriter& writer) { return writer.Samples().size() / 320; }

}  // namespace

TEST(BufferPool, GrowsPastItsFirstBlocksAndReusesThem) {
    CBufferPool pool;
    EXPECT_EQ(pool.GetBlockCount(), 1024u);
    EXPECT_EQ(pool.GetFreeCount(), 1024u);
    std::vector<CBuffer*> taken;
    for (int i = 0; i < 1500; ++i) {
        CBuffer* p = pool.Take();
        ASSERT_NE(p, nullptr);
        ASSERT_EQ(p->m_nSize, 320);
        EXPECT_FALSE(p->m_bOwnData);
        std::memset(p->m_pData, 0x33, 320);
        taken.push_back(p);
    }
    EXPECT_EQ(pool.GetBlockCount(), 1500u);
    EXPECT_EQ(pool.GetFreeCount(), 0u);
    for (CBuffer* p : taken) pool.GiveBack(p);
    EXPECT_EQ(pool.GetFreeCount(), 1500u);
    // Taking them all again makes nothing new, and every block comes back zero-filled.
    for (int i = 0; i < 1500; ++i) {
        CBuffer* p = pool.Take();
        for (int k = 0; k < 320; ++k) ASSERT_EQ(p->m_pData[k], 0);
    }
    EXPECT_EQ(pool.GetBlockCount(), 1500u);
}

TEST(Recorder, BlocksOfAnyOtherLengthAreRefused) {
    CRecorder recorder;
    CRecordingWriter writer;
    ASSERT_TRUE(CRecorderSeam::StartWith(recorder, &writer, true));
    EXPECT_FALSE(AddMic(recorder, std::vector<uint8_t>(319)));
    EXPECT_FALSE(AddMic(recorder, std::vector<uint8_t>(640)));
    EXPECT_FALSE(AddRemote(recorder, std::vector<uint8_t>(0)));
    EXPECT_TRUE(AddMic(recorder, RampBlock(0)));
    recorder.Stop();
    EXPECT_EQ(recorder.GetMicBlocksQueued(), 1u);
    EXPECT_EQ(Ticks(writer), 1u);
}

TEST(Recorder, InactiveRecorderDiscardsBlocks) {
    CRecorder recorder;
    EXPECT_TRUE(AddMic(recorder, RampBlock(0)));
    EXPECT_TRUE(AddRemote(recorder, RampBlock(0)));
    EXPECT_EQ(recorder.GetMicBlocksQueued() + recorder.GetRemoteBlocksQueued(), 0u);
    recorder.Stop();  // nothing running: returns at once
}

namespace {

// Holds its first write until the test opens the gate.
class CGatedWriter : public CRecordingWriter {
public:
    bool Write(const CBuffer* pBuffer) override {
        if (!m_bPassed) m_bPassed = ::WaitForSingleObject(m_gate, 5000) == WAIT_OBJECT_0 ? 1 : -1;
        return CRecordingWriter::Write(pBuffer);
    }
    CEvent m_gate{true, false};
    int m_bPassed = 0;
};

}  // namespace

// The window that stops a recording is never held up: BeginStop returns at once,
// the mixer drains and then posts the window's message, and Stop closes the file.
// Meanwhile the recorder takes no new recording into its file.
TEST(Recorder, StopDrainsWithoutHoldingTheCallerAndPostsWhenTheFileHoldsEverything) {
    HWND hWnd = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(hWnd, nullptr);
    CRecorder recorder;
    CGatedWriter writer;
    CRecordingWriter other;
    ASSERT_TRUE(CRecorderSeam::StartWith(recorder, &writer, true));
    for (int i = 0; i < 500; ++i) AddMic(recorder, FlatBlock(1));
    recorder.BeginStop(hWnd, WM_APP);  // the writer holds the mixer: this must not wait for it
    EXPECT_EQ(writer.m_bPassed, 0);
    ::SetLastError(0);
    EXPECT_FALSE(CRecorderSeam::StartWith(recorder, &other, true));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_BUSY));
    MSG msg;
    EXPECT_FALSE(::PeekMessageW(&msg, hWnd, WM_APP, WM_APP, PM_REMOVE));

    writer.m_gate.Set();
    bool bPosted = false;
    for (int i = 0; i < 500 && !bPosted; ++i) {
        bPosted = ::PeekMessageW(&msg, hWnd, WM_APP, WM_APP, PM_REMOVE) != FALSE;
        if (!bPosted) ::Sleep(10);
    }
    ASSERT_TRUE(bPosted);
    EXPECT_EQ(Ticks(writer), 500u);
    EXPECT_EQ(writer.Closes(), 0);
    recorder.Stop();
    EXPECT_EQ(writer.Closes(), 1);
    EXPECT_EQ(recorder.GetRecordedSeconds(), 5);

    // Nothing running: the message comes at once, and the next recording starts as usual.
    recorder.BeginStop(hWnd, WM_APP);
    EXPECT_TRUE(::PeekMessageW(&msg, hWnd, WM_APP, WM_APP, PM_REMOVE));
    ASSERT_TRUE(CRecorderSeam::StartWith(recorder, &other, true));
    recorder.Stop();
    EXPECT_EQ(other.Closes(), 1);
    EXPECT_FALSE(::PeekMessageW(&msg, hWnd, WM_APP, WM_APP, PM_REMOVE));  // Stop alone posts nothing
    ::DestroyWindow(hWnd);
}

// A system sleep during the call: what lies between the suspend and the resume is
// not in the file, as if paused, and blocks arriving meanwhile are dropped.
TEST(Recorder, SleepOfTheSystemIsLeftOutOfTheFile) {
    CRecorder recorder;
    CRecordingWriter writer;
    ASSERT_TRUE(CRecorderSeam::StartWith(recorder, &writer, true));
    AddMic(recorder, FlatBlock(1));
    ::Sleep(300);
    recorder.Suspend();
    ::Sleep(1500);
    AddMic(recorder, FlatBlock(2));
    EXPECT_EQ(recorder.GetMicBlocksQueued(), 1u);
    recorder.ResumeAfterSuspend();
    ::Sleep(300);
    AddMic(recorder, FlatBlock(3));
    recorder.Stop();
    // 0.6 s between the first block and the last; the 1.5 s asleep would make it 2.1 s.
    EXPECT_GE(Ticks(writer), 58u);
    EXPECT_LT(Ticks(writer), 130u);
    EXPECT_EQ(recorder.GetMicBlocksQueued(), 2u);
}

TEST(Recorder, NullPathSetsTheLastError) {
    CRecorder recorder;
    ::SetLastError(0);
    EXPECT_FALSE(recorder.Start(nullptr, 1, 32000, 64));
    EXPECT_EQ(::GetLastError(), AUDIOERR_NULL_PATH);
    EXPECT_FALSE(recorder.IsActive());
}

TEST(Recorder, FileThatCannotBeOpenedLeavesTheRecorderIdle) {
    NotifierFn previous = SetNotifier([](HWND, const std::wstring&, const std::wstring&, UINT) { return IDOK; });
    CRecorder recorder;
    ::SetLastError(0);
    EXPECT_FALSE(recorder.Start(L"C:\\no\\such\\folder\\ombra.mp3", 1, 32000, 64));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));  // the reason for the box
    EXPECT_FALSE(recorder.IsActive());
    EXPECT_TRUE(AddMic(recorder, FlatBlock(1)));  // discarded
    EXPECT_EQ(recorder.GetMicBlocksQueued(), 0u);
    SetNotifier(previous);
}

class RecorderFile : public ::testing::TestWithParam<int> {};

// Joint stereo, and a mode outside the table (a mono encoder): 3 s of audio either way.
TEST_P(RecorderFile, RecordsIntoARealMp3File) {
    wchar_t szDir[MAX_PATH];
    ::GetTempPathW(MAX_PATH, szDir);
    std::wstring strPath = std::wstring(szDir) + L"ombra_recorder.mp3";
    CRecorder recorder;
    ASSERT_TRUE(recorder.Start(strPath.c_str(), GetParam(), 32000, 64));
    EXPECT_FALSE(recorder.Start(strPath.c_str(), GetParam(), 32000, 64));  // one at a time
    for (int i = 0; i < 300; ++i) {
        AddMic(recorder, RampBlock(static_cast<int16_t>(i)));
        AddRemote(recorder, FlatBlock(static_cast<int16_t>(i)));
    }
    recorder.Stop();
    EXPECT_EQ(recorder.GetBlocksWritten(), 300u);
    EXPECT_EQ(recorder.GetRecordedSeconds(), 3);
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(::GetFileAttributesExW(strPath.c_str(), GetFileExInfoStandard, &data));
    // 3 s at 64 kbit/s is about 24 KB.
    EXPECT_GT(data.nFileSizeLow, 20000u);
    EXPECT_LT(data.nFileSizeLow, 30000u);
    EXPECT_TRUE(::DeleteFileW(strPath.c_str()));  // closed
}

INSTANTIATE_TEST_SUITE_P(Modes, RecorderFile, ::testing::Values(2, 5));
