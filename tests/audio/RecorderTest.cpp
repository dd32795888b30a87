#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
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

// Holds its first write until a window message has been handled.
class CGatedWriter : public CRecordingWriter {
public:
    bool Write(const CBuffer* pBuffer) override {
        if (!m_bPassed) m_bPassed = ::WaitForSingleObject(m_gate, 5000) == WAIT_OBJECT_0 ? 1 : -1;
        return CRecordingWriter::Write(pBuffer);
    }
    CEvent m_gate{true, false};
    int m_bPassed = 0;
};

CGatedWriter* s_pGated = nullptr;
CRecorder* s_pRecorder = nullptr;

// A message-only window whose procedure runs while Stop pumps messages.
HWND CreateMessageWindow(WNDPROC pfnProc, const wchar_t* pszClass) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = pfnProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = pszClass;
    ::RegisterClassW(&wc);
    return ::CreateWindowExW(0, pszClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance,
                             nullptr);
}

LRESULT CALLBACK GateWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_APP) {
        s_pRecorder->Stop();  // a second stop arriving during the wait returns at once
        s_pGated->m_gate.Set();
        return 0;
    }
    return ::DefWindowProcW(hWnd, uMsg, wParam, lParam);
}

}  // namespace

TEST(Recorder, StopKeepsWindowMessagesFlowing) {
    HWND hWnd = CreateMessageWindow(GateWndProc, L"OmbraRecorderGateTest");
    ASSERT_NE(hWnd, nullptr);
    CRecorder recorder;
    CGatedWriter writer;
    s_pGated = &writer;
    s_pRecorder = &recorder;
    ASSERT_TRUE(CRecorderSeam::StartWith(recorder, &writer, true));
    for (int i = 0; i < 500; ++i) AddMic(recorder, FlatBlock(1));
    ::PostMessageW(hWnd, WM_APP, 0, 0);
    recorder.Stop();  // the mixer is held until Stop dispatches WM_APP
    EXPECT_EQ(writer.m_bPassed, 1);
    EXPECT_EQ(Ticks(writer), 500u);
    EXPECT_EQ(writer.Closes(), 1);
    ::DestroyWindow(hWnd);
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
    EXPECT_FALSE(recorder.Start(L"C:\\no\\such\\folder\\ombra.mp3", 1, 32000, 64));
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
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(::GetFileAttributesExW(strPath.c_str(), GetFileExInfoStandard, &data));
    // 3 s at 64 kbit/s is about 24 KB.
    EXPECT_GT(data.nFileSizeLow, 20000u);
    EXPECT_LT(data.nFileSizeLow, 30000u);
    EXPECT_TRUE(::DeleteFileW(strPath.c_str()));  // closed
}

INSTANTIATE_TEST_SUITE_P(Modes, RecorderFile, ::testing::Values(2, 5));

namespace {

CRecordingWriter* s_pOther = nullptr;
int s_nStartDuringDrain = -1;

LRESULT CALLBACK StartDuringDrainWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_APP) {
        // The first recording is still draining into its writer: a new one must wait.
        s_nStartDuringDrain = CRecorderSeam::StartWith(*s_pRecorder, s_pOther, true) ? 1 : 0;
        s_pGated->m_gate.Set();
        return 0;
    }
    return ::DefWindowProcW(hWnd, uMsg, wParam, lParam);
}

}  // namespace

TEST(Recorder, StartArrivingDuringTheDrainIsRefused) {
    HWND hWnd = CreateMessageWindow(StartDuringDrainWndProc, L"OmbraRecorderDrainTest");
    ASSERT_NE(hWnd, nullptr);
    CRecorder recorder;
    CGatedWriter writer;
    CRecordingWriter other;
    s_pGated = &writer;
    s_pOther = &other;
    s_pRecorder = &recorder;
    ASSERT_TRUE(CRecorderSeam::StartWith(recorder, &writer, true));
    for (int i = 0; i < 100; ++i) AddMic(recorder, FlatBlock(1));
    ::PostMessageW(hWnd, WM_APP, 0, 0);
    recorder.Stop();
    EXPECT_EQ(s_nStartDuringDrain, 0);
    EXPECT_EQ(Ticks(writer), 100u);
    EXPECT_EQ(writer.Closes(), 1);
    EXPECT_EQ(other.Count(), 0u);
    EXPECT_FALSE(recorder.IsActive());
    // Once the stop is over the next recording starts as usual.
    ASSERT_TRUE(CRecorderSeam::StartWith(recorder, &other, true));
    recorder.Stop();
    EXPECT_EQ(other.Closes(), 1);
    ::DestroyWindow(hWnd);
}

TEST(Recorder, QuitRequestDuringTheDrainIsKeptForTheCallersLoop) {
    HWND hWnd = CreateMessageWindow(GateWndProc, L"OmbraRecorderQuitTest");
    ASSERT_NE(hWnd, nullptr);
    CRecorder recorder;
    CGatedWriter writer;
    s_pGated = &writer;
    s_pRecorder = &recorder;
    ASSERT_TRUE(CRecorderSeam::StartWith(recorder, &writer, true));
    for (int i = 0; i < 50; ++i) AddMic(recorder, FlatBlock(1));
    // Exit chosen while the recording drains: a window's quit message and the thread's.
    ::PostMessageW(hWnd, WM_QUIT, 3, 0);
    ::PostMessageW(hWnd, WM_APP, 0, 0);
    recorder.Stop();
    EXPECT_EQ(Ticks(writer), 50u);
    MSG msg;
    ASSERT_TRUE(::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.hwnd, hWnd);
    EXPECT_EQ(msg.wParam, 3u);

    CGatedWriter second;
    s_pGated = &second;
    ASSERT_TRUE(CRecorderSeam::StartWith(recorder, &second, true));
    AddMic(recorder, FlatBlock(2));
    ::PostMessageW(hWnd, WM_APP, 0, 0);
    ::PostQuitMessage(9);
    recorder.Stop();
    EXPECT_EQ(Ticks(second), 1u);
    ASSERT_TRUE(::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 9u);
    ::DestroyWindow(hWnd);
}

// A disk that takes nothing (the Linux side's /dev/full): one box naming the file and
// the reason, the mixer goes on, and the file is said to hold what reached it.
TEST(Recorder, FailingWritesAreToldOnceAndTheFileHoldsWhatReachedIt) {
    std::atomic<int> nBoxes{0};
    std::wstring strText, strCaption;
    CCriticalSection cs;
    NotifierFn previous = SetNotifier([&](HWND, const std::wstring& text, const std::wstring& caption, UINT) {
        CLock lock(cs);
        strText = text;
        strCaption = caption;
        ++nBoxes;
        return IDOK;
    });
    CRecorder recorder;
    ASSERT_TRUE(recorder.Start(L"Z:\\dev\\full", 1, 32000, 64));
    for (int i = 0; i < 100; ++i) {
        AddMic(recorder, RampBlock(static_cast<int16_t>(i)));
        if (i % 10 == 9) ::Sleep(100);  // past the half-second flush
    }
    recorder.Stop();
    for (int i = 0; i < 200 && nBoxes == 0; ++i) ::Sleep(10);
    ::Sleep(100);
    EXPECT_EQ(nBoxes, 1);
    {
        CLock lock(cs);
        EXPECT_EQ(strCaption, L"Ombra Skype Recorder");
        EXPECT_NE(strText.find(L"Z:\\dev\\full"), std::wstring::npos) << strText;
        EXPECT_GT(strText.find(L'\n'), 0u);
    }
    EXPECT_EQ(recorder.GetFailedFileSeconds(), 0);
    SetNotifier(previous);
}
