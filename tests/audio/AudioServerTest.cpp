#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "AudioTestClient.h"
#include "RecordingWriter.h"
#include "audio/AudioServer.h"
#include "base/Notifier.h"

namespace {

// A stream of known samples: sample i of a side is (i * nStep + nOffset) mod 2^16.
std::vector<uint8_t> KnownStream(size_t nBlocks, int nStep, int nOffset) {
    std::vector<uint8_t> bytes(nBlocks * 320);
    for (size_t i = 0; i < nBlocks * 160; ++i) {
        int16_t s = static_cast<int16_t>(static_cast<uint16_t>(i * nStep + nOffset));
        std::memcpy(&bytes[2 * i], &s, 2);
    }
    return bytes;
}

std::vector<int16_t> AsSamples(const std::vector<uint8_t>& bytes) {
    std::vector<int16_t> out(bytes.size() / 2);
    std::memcpy(out.data(), bytes.data(), out.size() * 2);
    return out;
}

// Sends a stream in pieces of the given sizes, round and round.
bool SendInPieces(CTestClient& client, const std::vector<uint8_t>& bytes, const std::vector<int>& pieces,
                  int nPauseEvery = 0) {
    size_t pos = 0;
    for (size_t i = 0; pos < bytes.size(); ++i) {
        size_t n = std::min<size_t>(pieces[i % pieces.size()], bytes.size() - pos);
        if (!client.Send(&bytes[pos], n)) return false;
        pos += n;
        if (nPauseEvery && i % nPauseEvery == 0) ::Sleep(1);
    }
    return true;
}

// The ports are the machine's: a program run by someone else may hold them for a while.
bool WaitForFreePorts(DWORD dwMs) {
    for (DWORD t = 0; t < dwMs; t += 200) {
        bool bFree = true;
        for (u_short nPort : {AUDIO_MIC_PORT, AUDIO_REMOTE_PORT}) {
            SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in addr = {};
            addr.sin_family = AF_INET;
            addr.sin_port = ::htons(nPort);
            addr.sin_addr.s_addr = ::inet_addr("127.0.0.1");
            if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) bFree = false;
            ::closesocket(s);
        }
        if (bFree) return true;
        ::Sleep(200);
    }
    return false;
}

class AudioServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_previous = SetNotifier([this](HWND hOwner, const std::wstring& text, const std::wstring& caption, UINT uType) {
            m_nBoxes++;
            m_hBoxOwner = hOwner;
            m_strBoxText = text;
            m_strBoxCaption = caption;
            m_uBoxType = uType;
            return IDOK;
        });
        WSADATA data;
        ::WSAStartup(MAKEWORD(2, 2), &data);
        ASSERT_TRUE(WaitForFreePorts(120000)) << "ports 58376/58377 stay taken";
        m_pServer = CAudioServer::GetInstance();
        ASSERT_NE(m_pServer, nullptr);
    }
    void TearDown() override {
        CAudioServer::DestroyInstance();
        ::WSACleanup();
        SetNotifier(m_previous);
    }
    void StartBoth() {
        ASSERT_TRUE(m_pServer->StartMicServer());
        ASSERT_TRUE(m_pServer->StartRemoteServer());
    }
    bool WaitForBlocks(CRecordingWriter& writer, size_t nCount, DWORD dwMs = 10000) {
        for (DWORD t = 0; t < dwMs && writer.Count() < nCount; t += 5) ::Sleep(5);
        return writer.Count() >= nCount;
    }
    bool WaitForQueued(uint64_t nMic, uint64_t nRemote, DWORD dwMs = 5000) {
        CRecorder* p = m_pServer->m_pRecorder;
        for (DWORD t = 0; t < dwMs; t += 1) {
            if (p->GetMicBlocksQueued() >= nMic && p->GetRemoteBlocksQueued() >= nRemote) return true;
            ::Sleep(1);
        }
        return false;
    }

    NotifierFn m_previous;
    CAudioServer* m_pServer = nullptr;
    int m_nBoxes = 0;
    HWND m_hBoxOwner = reinterpret_cast<HWND>(1);
    std::wstring m_strBoxText, m_strBoxCaption;
    UINT m_uBoxType = 0;
};

}  // namespace

TEST_F(AudioServerTest, StartsIdleOnTheLoopbackAddress) {
    EXPECT_EQ(m_pServer->m_nRecordState, RECSTATE_IDLE);
    EXPECT_EQ(m_pServer->m_nAddress, ::inet_addr("127.0.0.1"));
    EXPECT_FALSE(m_pServer->m_bMicRunning);
    EXPECT_EQ(m_pServer->m_hMicThread, nullptr);
    EXPECT_EQ(m_pServer->m_pRecorder, CRecorder::GetInstance());
    StartBoth();
    EXPECT_TRUE(m_pServer->m_bMicRunning);
    EXPECT_TRUE(m_pServer->m_bRemoteRunning);
    EXPECT_EQ(m_nBoxes, 0);
}

TEST_F(AudioServerTest, OddSizedPiecesAreRecordedSampleForSample) {
    StartBoth();
    CRecordingWriter writer;
    // Mono, one side: every mic block reaches the writer as it is.
    ASSERT_TRUE(m_pServer->m_pRecorder->StartWithWriter(&writer, false, RECSIDE_MINE));
    m_pServer->m_nRecordState = RECSTATE_RECORDING;
    std::vector<uint8_t> stream = KnownStream(400, 37, 5);
    CTestClient client;
    ASSERT_TRUE(client.Connect(AUDIO_MIC_PORT));
    ASSERT_TRUE(SendInPieces(client, stream, {1, 7, 313, 640, 1000, 3, 200, 440, 2048, 99}, 3));
    ASSERT_TRUE(WaitForBlocks(writer, 400));
    client.Close();
    m_pServer->m_pRecorder->Stop();
    m_pServer->m_nRecordState = RECSTATE_STOPPED;
    EXPECT_EQ(writer.Count(), 400u);
    EXPECT_EQ(writer.Samples(), AsSamples(stream));
}

TEST_F(AudioServerTest, BothSidesInPiecesPairInStereo) {
    StartBoth();
    CRecordingWriter writer;
    ASSERT_TRUE(m_pServer->m_pRecorder->StartWithWriter(&writer, true));
    m_pServer->m_nRecordState = RECSTATE_RECORDING;
    std::vector<uint8_t> mic = KnownStream(300, 3, 0), remote = KnownStream(300, -5, 1000);
    CTestClient micClient, remoteClient;
    ASSERT_TRUE(micClient.Connect(AUDIO_MIC_PORT));
    ASSERT_TRUE(remoteClient.Connect(AUDIO_REMOTE_PORT));
    std::jthread t([&] { SendInPieces(remoteClient, remote, {640, 1, 319, 777}, 2); });
    ASSERT_TRUE(SendInPieces(micClient, mic, {100, 960, 7}, 2));
    t.join();
    ASSERT_TRUE(WaitForBlocks(writer, 300));
    m_pServer->m_pRecorder->Stop();
    std::vector<int16_t> out = writer.Samples(), m = AsSamples(mic), r = AsSamples(remote);
    ASSERT_EQ(out.size(), 2 * m.size());
    for (size_t k = 0; k < m.size(); ++k) {
        ASSERT_EQ(out[2 * k], m[k]) << k;
        ASSERT_EQ(out[2 * k + 1], r[k]) << k;
    }
}

TEST_F(AudioServerTest, DataSentJustBeforeTheCloseIsNotLost) {
    StartBoth();
    CRecordingWriter writer;
    ASSERT_TRUE(m_pServer->m_pRecorder->StartWithWriter(&writer, false, RECSIDE_REMOTE));
    m_pServer->m_nRecordState = RECSTATE_RECORDING;
    std::vector<uint8_t> stream = KnownStream(1000, 11, 3);
    {
        CTestClient client;
        ASSERT_TRUE(client.Connect(AUDIO_REMOTE_PORT));
        ASSERT_TRUE(client.Send(stream));  // 320 KB in one go, then gone
    }
    ASSERT_TRUE(WaitForBlocks(writer, 1000));
    m_pServer->m_pRecorder->Stop();
    EXPECT_EQ(writer.Samples(), AsSamples(stream));
}

TEST_F(AudioServerTest, PausedBlocksAreDroppedAndTwoClientsFeedOneSide) {
    StartBoth();
    CRecordingWriter writer;
    CRecorder* pRecorder = m_pServer->m_pRecorder;
    ASSERT_TRUE(pRecorder->StartWithWriter(&writer, false, RECSIDE_MINE));
    CTestClient a, b;
    ASSERT_TRUE(a.Connect(AUDIO_MIC_PORT));
    ASSERT_TRUE(b.Connect(AUDIO_MIC_PORT));
    m_pServer->m_nRecordState = RECSTATE_RECORDING;
    ASSERT_TRUE(a.Send(FlatBlock(1)));
    ASSERT_TRUE(WaitForQueued(1, 0));
    ASSERT_TRUE(b.Send(FlatBlock(2)));
    ASSERT_TRUE(WaitForQueued(2, 0));
    m_pServer->m_nRecordState = RECSTATE_PAUSED;
    ASSERT_TRUE(a.Send(FlatBlock(3)));
    ::Sleep(100);
    m_pServer->m_nRecordState = RECSTATE_RESUMED;
    ASSERT_TRUE(b.Send(FlatBlock(4)));
    ASSERT_TRUE(WaitForQueued(3, 0));
    ASSERT_TRUE(WaitForBlocks(writer, 3));
    pRecorder->Stop();
    ASSERT_EQ(writer.Count(), 3u);
    EXPECT_EQ(writer.Samples()[0], 1);
    EXPECT_EQ(writer.Samples()[160], 2);
    EXPECT_EQ(writer.Samples()[320], 4);
}

namespace {

struct CLevelWindow {
    static LRESULT CALLBACK Proc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
        if (uMsg == WM_MIC_LEVEL || uMsg == WM_REMOTE_LEVEL) {
            auto* p = reinterpret_cast<CLevelWindow*>(::GetWindowLongPtrW(hWnd, GWLP_USERDATA));
            (uMsg == WM_MIC_LEVEL ? p->mic : p->remote).push_back(static_cast<int>(wParam));
            EXPECT_EQ(lParam, 0);
            return 0;
        }
        return ::DefWindowProcW(hWnd, uMsg, wParam, lParam);
    }
    CLevelWindow() {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = Proc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"OmbraLevelTest";
        ::RegisterClassW(&wc);
        hWnd = ::CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance,
                                 nullptr);
        ::SetWindowLongPtrW(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~CLevelWindow() { ::DestroyWindow(hWnd); }
    void Pump() {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
    }
    HWND hWnd = nullptr;
    std::vector<int> mic, remote;
};

}  // namespace

TEST_F(AudioServerTest, LevelsArePostedOnTheFirstReadThenEverySixthInEveryState) {
    CLevelWindow window;
    m_pServer->m_hWnd = window.hWnd;
    StartBoth();
    // Recording one side lets the test see each read arrive (one block per read).
    CRecordingWriter writer;
    ASSERT_TRUE(m_pServer->m_pRecorder->StartWithWriter(&writer, false, RECSIDE_MINE));
    m_pServer->m_nRecordState = RECSTATE_RECORDING;
    CTestClient client;
    ASSERT_TRUE(client.Connect(AUDIO_MIC_PORT));
    std::vector<uint8_t> loud = FlatBlock(0);
    int16_t nMin = -32768;
    std::memcpy(&loud[0], &nMin, 2);
    ASSERT_TRUE(client.Send(loud));
    ASSERT_TRUE(WaitForQueued(1, 0));
    for (int i = 0; i < 12; ++i) {
        ASSERT_TRUE(client.Send(FlatBlock(0)));
        ASSERT_TRUE(WaitForQueued(2 + i, 0));
    }
    ::Sleep(50);
    window.Pump();
    EXPECT_EQ(window.mic, (std::vector<int>{512, 508, 504}));
    EXPECT_TRUE(window.remote.empty());

    // Not recording: the meter goes on.
    m_pServer->m_pRecorder->Stop();
    m_pServer->m_nRecordState = RECSTATE_STOPPED;
    CTestClient remote;
    ASSERT_TRUE(remote.Connect(AUDIO_REMOTE_PORT));
    ASSERT_TRUE(remote.Send(FlatBlock(32767)));
    for (int i = 0; i < 100 && window.remote.empty(); ++i) {
        ::Sleep(10);
        window.Pump();
    }
    EXPECT_EQ(window.remote, (std::vector<int>{511}));
}

TEST_F(AudioServerTest, PortInUseIsReportedAndTheOtherServerStillRecords) {
    SOCKET hBusy = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_port = ::htons(AUDIO_MIC_PORT);
    addr.sin_addr.s_addr = ::inet_addr("127.0.0.1");
    ASSERT_EQ(::bind(hBusy, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
    ASSERT_EQ(::listen(hBusy, 1), 0);

    EXPECT_FALSE(m_pServer->StartMicServer());
    EXPECT_EQ(m_nBoxes, 1);
    EXPECT_EQ(m_hBoxOwner, nullptr);
    EXPECT_EQ(m_strBoxCaption, L"Ombra Skype Recorder");
    EXPECT_EQ(m_strBoxText,
              L"Create socket failed! Please make sure your firewall/anti-virus software does NOT block the port '58377'!");
    EXPECT_EQ(m_uBoxType, static_cast<UINT>(MB_ICONINFORMATION));
    EXPECT_TRUE(m_pServer->m_micServer.IsEmpty());

    EXPECT_TRUE(m_pServer->StartRemoteServer());
    EXPECT_EQ(m_nBoxes, 1);
    CRecordingWriter writer;
    ASSERT_TRUE(m_pServer->m_pRecorder->StartWithWriter(&writer, false, RECSIDE_REMOTE));
    m_pServer->m_nRecordState = RECSTATE_RECORDING;
    CTestClient client;
    ASSERT_TRUE(client.Connect(AUDIO_REMOTE_PORT));
    std::vector<uint8_t> stream = KnownStream(50, 1, 0);
    ASSERT_TRUE(client.Send(stream));
    ASSERT_TRUE(WaitForBlocks(writer, 50));
    m_pServer->m_pRecorder->Stop();
    EXPECT_EQ(writer.Samples(), AsSamples(stream));
    ::closesocket(hBusy);
}

TEST_F(AudioServerTest, BadClientsDoNotDisturbTheRecordingOrTheServers) {
    StartBoth();
    CRecordingWriter writer;
    ASSERT_TRUE(m_pServer->m_pRecorder->StartWithWriter(&writer, false, RECSIDE_REMOTE));
    m_pServer->m_nRecordState = RECSTATE_RECORDING;
    std::vector<uint8_t> stream = KnownStream(600, 13, 9);
    CTestClient good;
    ASSERT_TRUE(good.Connect(AUDIO_REMOTE_PORT));
    std::atomic<bool> bSent{false};
    std::jthread sender([&] {
        for (size_t pos = 0; pos < stream.size(); pos += 3200) {
            good.Send(&stream[pos], std::min<size_t>(3200, stream.size() - pos));
            ::Sleep(5);
        }
        bSent = true;
    });

    // On the remote port: one that says nothing, one that resets.
    CTestClient silent, resetter;
    ASSERT_TRUE(silent.Connect(AUDIO_REMOTE_PORT));
    ASSERT_TRUE(resetter.Connect(AUDIO_REMOTE_PORT));
    resetter.Reset();
    // On the mic port: garbage, resets after data, and 70 clients at once.
    std::vector<uint8_t> garbage(5000);
    for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<uint8_t>(i * 131 + 17);
    CTestClient junk;
    ASSERT_TRUE(junk.Connect(AUDIO_MIC_PORT));
    junk.Send(garbage.data(), 333);
    junk.Send(garbage.data() + 333, garbage.size() - 333);
    for (int i = 0; i < 5; ++i) {
        CTestClient c;
        ASSERT_TRUE(c.Connect(AUDIO_MIC_PORT)) << i;
        c.Send(garbage.data(), 100 + i);
        c.Reset();
    }
    junk.Close();
    ::Sleep(100);
    std::vector<std::unique_ptr<CTestClient>> crowd;
    for (int i = 0; i < 70; ++i) {
        crowd.push_back(std::make_unique<CTestClient>());
        crowd.back()->Connect(AUDIO_MIC_PORT);  // the backlog takes them all
    }
    for (int i = 0; i < 200 && m_pServer->m_micServer.GetSocketCount() < SOCKSRV_MAX_SOCKETS; ++i) ::Sleep(10);
    ::Sleep(200);
    EXPECT_EQ(m_pServer->m_micServer.GetSocketCount(), SOCKSRV_MAX_SOCKETS);  // 62 connections and the listener
    int nRefused = 0;
    for (auto& c : crowd)
        if (c->WaitClosedByPeer(30)) ++nRefused;
    EXPECT_EQ(nRefused, 8);
    crowd.clear();
    for (int i = 0; i < 300 && m_pServer->m_micServer.GetSocketCount() > 1; ++i) ::Sleep(10);
    EXPECT_EQ(m_pServer->m_micServer.GetSocketCount(), 1);

    sender.join();
    ASSERT_TRUE(bSent);
    ASSERT_TRUE(WaitForBlocks(writer, 600));
    // Still serving: a new client on the mic port is accepted and metered.
    CTestClient later;
    ASSERT_TRUE(later.Connect(AUDIO_MIC_PORT));
    for (int i = 0; i < 200 && m_pServer->m_micServer.GetSocketCount() < 2; ++i) ::Sleep(10);
    EXPECT_EQ(m_pServer->m_micServer.GetSocketCount(), 2);
    m_pServer->m_pRecorder->Stop();
    EXPECT_EQ(writer.Samples(), AsSamples(stream));
    EXPECT_TRUE(m_pServer->m_bMicRunning);
    EXPECT_TRUE(m_pServer->m_bRemoteRunning);
}

TEST_F(AudioServerTest, StartRecordingRefusesANameThatWouldNotFit) {
    NotifierFn quiet = SetNotifier([](HWND, const std::wstring&, const std::wstring&, UINT) { return IDOK; });
    wchar_t szDir[MAX_PATH];
    ::GetTempPathW(MAX_PATH, szDir);
    std::wstring strBase = std::wstring(szDir) + L"ombra_long_";
    std::wstring strFits = strBase + std::wstring(515 - strBase.size(), L'x');  // 515 + 4 + 1 = 520
    std::wstring strTooLong = strFits + L"x";
    m_pServer->StartRecording(strTooLong.c_str(), 32000, 64, 1);
    EXPECT_FALSE(m_pServer->m_pRecorder->IsActive());
    // Wine's file system may not take a name this long; the recorder at least tries.
    m_pServer->StartRecording(strFits.c_str(), 32000, 64, 1);
    bool bStarted = m_pServer->m_pRecorder->IsActive();
    m_pServer->m_pRecorder->Stop();
    if (bStarted) ::DeleteFileW((strFits + L".mp3").c_str());
    SetNotifier(quiet);
}

TEST_F(AudioServerTest, StartRecordingIsIgnoredWhileARecordingRuns) {
    wchar_t szDir[MAX_PATH];
    ::GetTempPathW(MAX_PATH, szDir);
    std::wstring strPath = std::wstring(szDir) + L"ombra_state";
    ::DeleteFileW((strPath + L".mp3").c_str());
    for (int nState : {RECSTATE_RECORDING, RECSTATE_PAUSED, RECSTATE_RESUMED}) {
        m_pServer->m_nRecordState = nState;
        m_pServer->StartRecording(strPath.c_str(), 32000, 64, 1);
        EXPECT_FALSE(m_pServer->m_pRecorder->IsActive());
    }
    EXPECT_EQ(::GetFileAttributesW((strPath + L".mp3").c_str()), INVALID_FILE_ATTRIBUTES);
    m_pServer->m_nRecordState = RECSTATE_STOPPED;
    m_pServer->StartRecording(strPath.c_str(), 32000, 64, 1);
    EXPECT_TRUE(m_pServer->m_pRecorder->IsActive());
    m_pServer->m_pRecorder->Stop();
    EXPECT_NE(::GetFileAttributesW((strPath + L".mp3").c_str()), INVALID_FILE_ATTRIBUTES);
    ::DeleteFileW((strPath + L".mp3").c_str());
}

TEST_F(AudioServerTest, DestroyWhileClientsStreamEndsCleanly) {
    StartBoth();
    CRecordingWriter writer;
    ASSERT_TRUE(m_pServer->m_pRecorder->StartWithWriter(&writer, true));
    m_pServer->m_nRecordState = RECSTATE_RECORDING;
    CTestClient mic, remote;
    ASSERT_TRUE(mic.Connect(AUDIO_MIC_PORT));
    ASSERT_TRUE(remote.Connect(AUDIO_REMOTE_PORT));
    std::atomic<bool> bStop{false};
    std::jthread t([&] {
        std::vector<uint8_t> block = FlatBlock(5);
        while (!bStop && mic.Send(block) && remote.Send(block)) ::Sleep(1);
    });
    ::Sleep(200);
    CAudioServer::DestroyInstance();  // recorder stopped and file closed on the way
    bStop = true;
    t.join();
    EXPECT_GE(writer.Closes(), 1);
    m_pServer = CAudioServer::GetInstance();  // a new engine can be made again
    ASSERT_NE(m_pServer, nullptr);
    EXPECT_EQ(m_pServer->m_nRecordState, RECSTATE_IDLE);
}
