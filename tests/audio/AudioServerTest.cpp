#include <gtest/gtest.h>

#include <atomic>
#include <iostream>
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
    // Waits until the writer holds nCount 10 ms ticks of nChannels channels.
    bool WaitForBlocks(CRecordingWriter& writer, size_t nCount, int nChannels = 1, DWORD dwMs = 10000) {
        for (DWORD t = 0; t < dwMs && writer.Samples().size() < nCount * 160 * nChannels; t += 5) ::Sleep(5);
        return writer.Samples().size() >= nCount * 160 * nChannels;
    }
    bool WaitForQueued(uint64_t nMic, uint64_t nRemote, DWORD dwMs = 5000) {
        CRecorder* p = m_pServer->GetRecorder();
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
    EXPECT_EQ(m_pServer->GetRecordState(), RECSTATE_IDLE);
    EXPECT_EQ(m_pServer->GetAddress(), ::inet_addr("127.0.0.1"));
    EXPECT_FALSE(m_pServer->IsServing(true));
    EXPECT_EQ(m_pServer->GetRecorder(), CRecorder::GetInstance());
    StartBoth();
    EXPECT_TRUE(m_pServer->IsServing(true));
    EXPECT_TRUE(m_pServer->IsServing(false));
    EXPECT_EQ(m_nBoxes, 0);
}

TEST_F(AudioServerTest, OddSizedPiecesAreRecordedSampleForSample) {
    StartBoth();
    CRecordingWriter writer;
    // Mono, one side: every mic block reaches the writer as it is.
    ASSERT_TRUE(CRecorderSeam::StartWith(*m_pServer->GetRecorder(), &writer, false, RECSIDE_MINE));
    m_pServer->SetRecordState(RECSTATE_RECORDING);
    std::vector<uint8_t> stream = KnownStream(400, 37, 5);
    CTestClient client;
    ASSERT_TRUE(client.Connect(AUDIO_MIC_PORT));
    ASSERT_TRUE(SendInPieces(client, stream, {1, 7, 313, 640, 1000, 3, 200, 440, 2048, 99}, 3));
    ASSERT_TRUE(WaitForBlocks(writer, 400));
    client.Close();
    m_pServer->GetRecorder()->Stop();
    m_pServer->SetRecordState(RECSTATE_STOPPED);
    EXPECT_EQ(writer.Samples(), AsSamples(stream));
}

// Each channel, less the ticks where its side had nothing yet, is its stream sample for sample.
void ExpectChannelsWhole(CRecordingWriter& writer, const std::vector<uint8_t>& mic, const std::vector<uint8_t>& remote) {
    std::vector<int16_t> out = writer.Samples(), channel[2];
    for (size_t t = 0; t + 320 <= out.size(); t += 320)
        for (int c = 0; c < 2; ++c) {
            bool bSilent = true;
            for (int k = 0; k < 160 && bSilent; ++k) bSilent = out[t + 2 * k + c] == 0;
            for (int k = 0; k < 160 && !bSilent; ++k) channel[c].push_back(out[t + 2 * k + c]);
        }
    EXPECT_TRUE(channel[0] == AsSamples(mic)) << channel[0].size();
    EXPECT_TRUE(channel[1] == AsSamples(remote)) << channel[1].size();
}

TEST_F(AudioServerTest, BothSidesInPiecesAreWholeInTheirOwnChannels) {
    StartBoth();
    CRecordingWriter writer;
    ASSERT_TRUE(CRecorderSeam::StartWith(*m_pServer->GetRecorder(), &writer, true));
    m_pServer->SetRecordState(RECSTATE_RECORDING);
    std::vector<uint8_t> mic = KnownStream(300, 3, 1), remote = KnownStream(300, -5, 1000);
    CTestClient micClient, remoteClient;
    ASSERT_TRUE(micClient.Connect(AUDIO_MIC_PORT));
    ASSERT_TRUE(remoteClient.Connect(AUDIO_REMOTE_PORT));
    std::jthread t([&] { SendInPieces(remoteClient, remote, {640, 1, 319, 777}, 2); });
    ASSERT_TRUE(SendInPieces(micClient, mic, {100, 960, 7}, 2));
    t.join();
    ASSERT_TRUE(WaitForQueued(300, 300));
    m_pServer->GetRecorder()->Stop();
    ExpectChannelsWhole(writer, mic, remote);
}

TEST_F(AudioServerTest, DataSentJustBeforeTheCloseIsNotLost) {
    StartBoth();
    CRecordingWriter writer;
    ASSERT_TRUE(CRecorderSeam::StartWith(*m_pServer->GetRecorder(), &writer, false, RECSIDE_REMOTE));
    m_pServer->SetRecordState(RECSTATE_RECORDING);
    std::vector<uint8_t> stream = KnownStream(1000, 11, 3);
    {
        CTestClient client;
        ASSERT_TRUE(client.Connect(AUDIO_REMOTE_PORT));
        ASSERT_TRUE(client.Send(stream));  // 320 KB in one go, then gone
    }
    ASSERT_TRUE(WaitForBlocks(writer, 1000));
    m_pServer->GetRecorder()->Stop();
    EXPECT_EQ(writer.Samples(), AsSamples(stream));
}

TEST_F(AudioServerTest, PausedSpanIsLeftOutOfTheRecording) {
    StartBoth();
    CRecordingWriter writer;
    CRecorder* pRecorder = m_pServer->GetRecorder();
    ASSERT_TRUE(CRecorderSeam::StartWith(*pRecorder, &writer, false, RECSIDE_MINE));
    CTestClient a;
    ASSERT_TRUE(a.Connect(AUDIO_MIC_PORT));
    m_pServer->SetRecordState(RECSTATE_RECORDING);
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(a.Send(FlatBlock(static_cast<int16_t>(1 + i))));
    ASSERT_TRUE(WaitForQueued(10, 0));
    m_pServer->SetRecordState(RECSTATE_PAUSED);
    ASSERT_TRUE(a.Send(FlatBlock(99)));
    ::Sleep(600);
    m_pServer->SetRecordState(RECSTATE_RESUMED);
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(a.Send(FlatBlock(static_cast<int16_t>(11 + i))));
    ASSERT_TRUE(WaitForQueued(20, 0));
    pRecorder->Stop();
    // Neither the block sent while paused nor 600 ms of silence in its place.
    std::vector<int16_t> out = writer.Samples();
    ASSERT_EQ(out.size(), 20u * 160);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(out[i * 160], 1 + i);
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
    m_pServer->SetLevelWindow(window.hWnd);
    StartBoth();
    // Recording one side lets the test see each read arrive (one block per read).
    CRecordingWriter writer;
    ASSERT_TRUE(CRecorderSeam::StartWith(*m_pServer->GetRecorder(), &writer, false, RECSIDE_MINE));
    m_pServer->SetRecordState(RECSTATE_RECORDING);
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
    m_pServer->GetRecorder()->Stop();
    m_pServer->SetRecordState(RECSTATE_STOPPED);
    CTestClient remote;
    ASSERT_TRUE(remote.Connect(AUDIO_REMOTE_PORT));
    ASSERT_TRUE(remote.Send(FlatBlock(32767)));
    for (int i = 0; i < 100 && window.remote.empty(); ++i) {
        ::Sleep(10);
        window.Pump();
    }
    EXPECT_EQ(window.remote, (std::vector<int>{511}));

    // The side's last connection ends: its meter goes dark.
    remote.Close();
    for (int i = 0; i < 100 && window.remote.size() < 2; ++i) {
        ::Sleep(10);
        window.Pump();
    }
    EXPECT_EQ(window.remote, (std::vector<int>{511, 0}));
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
    EXPECT_EQ(m_pServer->GetSocketCount(true), 0);

    EXPECT_TRUE(m_pServer->StartRemoteServer());
    EXPECT_EQ(m_nBoxes, 1);
    CRecordingWriter writer;
    ASSERT_TRUE(CRecorderSeam::StartWith(*m_pServer->GetRecorder(), &writer, false, RECSIDE_REMOTE));
    m_pServer->SetRecordState(RECSTATE_RECORDING);
    CTestClient client;
    ASSERT_TRUE(client.Connect(AUDIO_REMOTE_PORT));
    std::vector<uint8_t> stream = KnownStream(50, 1, 0);
    ASSERT_TRUE(client.Send(stream));
    ASSERT_TRUE(WaitForBlocks(writer, 50));
    m_pServer->GetRecorder()->Stop();
    EXPECT_EQ(writer.Samples(), AsSamples(stream));
    ::closesocket(hBusy);
}

// 150 local clients on both ports during a call: some reset, some send garbage
// shorter than a block, the rest sit idle and fill both tables. Skype's streams
// are recorded whole, and a client arriving later takes an idle one's place.
TEST_F(AudioServerTest, ACrowdOfLocalClientsNeitherDisturbsTheCallNorLocksSkypeOut) {
    StartBoth();
    CRecordingWriter writer;
    ASSERT_TRUE(CRecorderSeam::StartWith(*m_pServer->GetRecorder(), &writer, true));
    m_pServer->SetRecordState(RECSTATE_RECORDING);
    std::vector<uint8_t> mic = KnownStream(700, 13, 9), remote = KnownStream(700, -7, 4);
    CTestClient skypeMic, skypeRemote;
    ASSERT_TRUE(skypeMic.Connect(AUDIO_MIC_PORT));
    ASSERT_TRUE(skypeRemote.Connect(AUDIO_REMOTE_PORT));
    std::jthread sender([&] {
        for (size_t pos = 0; pos < mic.size(); pos += 640) {
            skypeMic.Send(&mic[pos], 640);
            skypeRemote.Send(&remote[pos], 640);
            ::Sleep(10);  // about twice real time, for 3.5 s
        }
    });
    std::vector<uint8_t> garbage(320);
    for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<uint8_t>(i * 131 + 17);
    std::vector<std::unique_ptr<CTestClient>> crowd;
    for (u_short nPort : {AUDIO_MIC_PORT, AUDIO_REMOTE_PORT}) {
        for (int i = 0; i < 5; ++i) {
            CTestClient c;
            ASSERT_TRUE(c.Connect(nPort)) << i;
            c.Send(garbage.data(), 1 + i * 70);
            if (i % 2) c.Reset();
        }
        for (int i = 0; i < 70; ++i) {
            crowd.push_back(std::make_unique<CTestClient>());
            crowd.back()->Connect(nPort);  // the backlog takes them all
        }
    }
    for (int i = 0; i < 300 && (m_pServer->GetSocketCount(true) < SOCKSRV_MAX_SOCKETS ||
                                m_pServer->GetSocketCount(false) < SOCKSRV_MAX_SOCKETS); ++i)
        ::Sleep(10);
    EXPECT_EQ(m_pServer->GetSocketCount(true), SOCKSRV_MAX_SOCKETS);  // 62 connections and the listener
    EXPECT_EQ(m_pServer->GetSocketCount(false), SOCKSRV_MAX_SOCKETS);
    ::Sleep(static_cast<DWORD>(SOCKSRV_EVICT_IDLE_MS) + 200);
    // Both servers still take a newcomer: it replaces the connection idle longest.
    CTestClient later[2];
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(later[i].Connect(i ? AUDIO_REMOTE_PORT : AUDIO_MIC_PORT));
        EXPECT_FALSE(later[i].WaitClosedByPeer(300)) << i;
    }
    sender.join();
    ASSERT_TRUE(WaitForQueued(700, 700));
    m_pServer->GetRecorder()->Stop();
    ExpectChannelsWhole(writer, mic, remote);
    EXPECT_EQ(m_pServer->GetRecorder()->GetBlocksDropped(), 0u);
    EXPECT_TRUE(m_pServer->IsServing(true));
    EXPECT_TRUE(m_pServer->IsServing(false));
}

namespace {

// The listening socket of a port, found among the process's handles.
SOCKET FindListener(u_short nPort) {
    for (uintptr_t h = 4; h < 0x10000; h += 4) {
        const SOCKET hSocket = static_cast<SOCKET>(h);
        sockaddr_in addr = {};
        int nLen = sizeof(addr);
        if (::getsockname(hSocket, reinterpret_cast<sockaddr*>(&addr), &nLen) != 0 || addr.sin_port != ::htons(nPort))
            continue;
        BOOL bListening = FALSE;
        nLen = sizeof(bListening);
        if (::getsockopt(hSocket, SOL_SOCKET, SO_ACCEPTCONN, reinterpret_cast<char*>(&bListening), &nLen) == 0 &&
            bListening)
            return hSocket;
    }
    return INVALID_SOCKET;
}

}  // namespace

// The listening socket fails during a call: its handle is closed under the server
// while the socket lives on (another handle keeps it) and holds the port. The server
// tells the user once, serves the call's connection meanwhile, and listens anew
// once the port is free; the call is recorded whole.
TEST_F(AudioServerTest, AFailedListenerIsOpenedAnewWhileTheCallStreamsOn) {
    std::atomic<int> nBoxes{0};
    std::wstring strBoxText;
    NotifierFn previous = SetNotifier([&](HWND, const std::wstring& text, const std::wstring&, UINT) {
        if (nBoxes == 0) strBoxText = text;
        ++nBoxes;
        return IDOK;
    });
    StartBoth();
    CRecordingWriter writer;
    CRecorder* pRecorder = m_pServer->GetRecorder();
    ASSERT_TRUE(CRecorderSeam::StartWith(*pRecorder, &writer, false, RECSIDE_MINE));
    m_pServer->SetRecordState(RECSTATE_RECORDING);
    CTestClient call;
    ASSERT_TRUE(call.Connect(AUDIO_MIC_PORT));
    const std::vector<uint8_t> stream = KnownStream(800, 11, 7);
    std::atomic<bool> bSendFailed{false};
    std::jthread sender([&] {
        for (size_t pos = 0; pos < stream.size(); pos += 640) {
            if (!call.Send(&stream[pos], 640)) bSendFailed = true;
            ::Sleep(10);  // twice real time, for 4 s
        }
    });
    ASSERT_TRUE(WaitForQueued(100, 0));

    // Made before the listener's handle is closed, so that no new socket takes its number.
    SOCKET hKnock = ::socket(AF_INET, SOCK_STREAM, 0);
    const SOCKET hListener = FindListener(AUDIO_MIC_PORT);
    ASSERT_NE(hListener, INVALID_SOCKET);
    HANDLE hKept = nullptr;
    ASSERT_TRUE(::DuplicateHandle(::GetCurrentProcess(), reinterpret_cast<HANDLE>(hListener), ::GetCurrentProcess(),
                                  &hKept, 0, FALSE, DUPLICATE_SAME_ACCESS));
    ::closesocket(hListener);
    // A connection waiting on the socket makes the server look at it.
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_port = ::htons(AUDIO_MIC_PORT);
    addr.sin_addr.s_addr = ::inet_addr("127.0.0.1");
    EXPECT_EQ(::connect(hKnock, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
    for (int i = 0; i < 500 && nBoxes == 0; ++i) ::Sleep(10);
    EXPECT_EQ(nBoxes, 1);
    if (nBoxes > 0) {
        EXPECT_EQ(strBoxText,
                  L"Create socket failed! Please make sure your firewall/anti-virus software does NOT block the port '58377'!");
    }
    ::CloseHandle(hKept);  // the port is free again
    ::closesocket(hKnock);

    bool bAccepted = false;
    CTestClient later;
    for (int i = 0; i < 50 && !bAccepted; ++i) {
        later.Close();
        bAccepted = later.Connect(AUDIO_MIC_PORT);
        if (!bAccepted) ::Sleep(100);
    }
    EXPECT_TRUE(bAccepted) << "nobody listens on the port again";
    for (int i = 0; i < 200 && m_pServer->GetSocketCount(true) < 3; ++i) ::Sleep(10);
    EXPECT_EQ(m_pServer->GetSocketCount(true), 3);  // the listener, the call and the newcomer
    sender.join();
    EXPECT_FALSE(bSendFailed);
    EXPECT_TRUE(WaitForQueued(800, 0));
    pRecorder->Stop();
    EXPECT_TRUE(writer.Samples() == AsSamples(stream)) << writer.Samples().size();
    EXPECT_EQ(nBoxes, 1);
    SetNotifier(previous);
}

namespace {

// A file on a network share that hangs: every write waits until the share is back.
class CHangingWriter : public CRecordingWriter {
public:
    bool Write(const CBuffer* pBuffer) override {
        ::WaitForSingleObject(m_back, INFINITE);
        return CRecordingWriter::Write(pBuffer);
    }
    void ComeBack() { m_back.Set(); }

private:
    CEvent m_back{true, false};
};

}  // namespace

// Skype's sends must not block behind a hanging file: the servers go on reading at
// call pace, and what the recorder has no room for is dropped and counted. Once the
// share is back, the recording goes on with what was kept and what comes next.
TEST_F(AudioServerTest, AHangingWriterHoldsUpNeitherTheSenderNorTheRecording) {
    StartBoth();
    CHangingWriter writer;
    CRecorder* pRecorder = m_pServer->GetRecorder();
    ASSERT_TRUE(CRecorderSeam::StartWith(*pRecorder, &writer, false, RECSIDE_MINE));
    m_pServer->SetRecordState(RECSTATE_RECORDING);
    CTestClient client;
    ASSERT_TRUE(client.Connect(AUDIO_MIC_PORT));
    // 240 s of audio at 40 times real time: three times what the recorder keeps,
    // and more than the sockets' buffers hold.
    constexpr size_t BLOCKS = 24000, BLOCKS_PER_10MS = 40;
    const std::vector<uint8_t> hung = KnownStream(BLOCKS, 3, 1), after = KnownStream(100, -7, 5);
    std::atomic<bool> bSent{false};
    std::atomic<DWORD> dwLongestSend{0};
    std::jthread sender([&] {
        for (size_t pos = 0; pos < hung.size(); pos += BLOCKS_PER_10MS * 320) {
            const ULONGLONG nStart = ::GetTickCount64();
            if (!client.Send(&hung[pos], BLOCKS_PER_10MS * 320)) return;
            dwLongestSend = std::max<DWORD>(dwLongestSend, static_cast<DWORD>(::GetTickCount64() - nStart));
            ::Sleep(10);
        }
        bSent = true;
    });
    // The share stays away until all of it was sent, a minute at most.
    for (int i = 0; i < 6000 && !bSent; ++i) ::Sleep(10);
    const bool bSentWhileHung = bSent;
    auto accounted = [&] { return pRecorder->GetMicBlocksQueued() + pRecorder->GetBlocksDropped(); };
    for (int i = 0; i < 500 && accounted() < BLOCKS; ++i) ::Sleep(10);
    const uint64_t nKept = pRecorder->GetMicBlocksQueued();
    writer.ComeBack();
    sender.join();
    EXPECT_TRUE(bSentWhileHung) << "the sender was held up behind the hanging writer";
    std::cout << "longest send: " << dwLongestSend << " ms, blocks kept: " << nKept
              << ", dropped: " << pRecorder->GetBlocksDropped() << std::endl;
    EXPECT_EQ(accounted(), BLOCKS);
    EXPECT_GT(pRecorder->GetBlocksDropped(), 0u);

    ASSERT_TRUE(client.Send(after));
    EXPECT_TRUE(WaitForBlocks(writer, nKept + 100, 1, 20000));
    pRecorder->Stop();
    // What was kept is the stream's beginning, whole; what came after the share's return follows it.
    std::vector<uint8_t> expected(hung.begin(), hung.begin() + nKept * 320);
    expected.insert(expected.end(), after.begin(), after.end());
    EXPECT_TRUE(writer.Samples() == AsSamples(expected)) << writer.Samples().size();
}

TEST_F(AudioServerTest, StartRecordingRefusesANameThatWouldNotFit) {
    NotifierFn quiet = SetNotifier([](HWND, const std::wstring&, const std::wstring&, UINT) { return IDOK; });
    wchar_t szDir[MAX_PATH];
    ::GetTempPathW(MAX_PATH, szDir);
    std::wstring strBase = std::wstring(szDir) + L"ombra_long_";
    std::wstring strFits = strBase + std::wstring(515 - strBase.size(), L'x');  // 515 + 4 + 1 = 520
    std::wstring strTooLong = strFits + L"x";
    m_pServer->StartRecording(strTooLong.c_str(), 32000, 64, 1);
    EXPECT_FALSE(m_pServer->GetRecorder()->IsActive());
    // Wine's file system may not take a name this long; the recorder at least tries.
    m_pServer->StartRecording(strFits.c_str(), 32000, 64, 1);
    bool bStarted = m_pServer->GetRecorder()->IsActive();
    m_pServer->GetRecorder()->Stop();
    if (bStarted) ::DeleteFileW((strFits + L".mp3").c_str());
    SetNotifier(quiet);
}

TEST_F(AudioServerTest, StartRecordingIsIgnoredWhileARecordingRuns) {
    wchar_t szDir[MAX_PATH];
    ::GetTempPathW(MAX_PATH, szDir);
    std::wstring strPath = std::wstring(szDir) + L"ombra_state";
    ::DeleteFileW((strPath + L".mp3").c_str());
    for (int nState : {RECSTATE_RECORDING, RECSTATE_PAUSED, RECSTATE_RESUMED}) {
        m_pServer->SetRecordState(nState);
        m_pServer->StartRecording(strPath.c_str(), 32000, 64, 1);
        EXPECT_FALSE(m_pServer->GetRecorder()->IsActive());
    }
    EXPECT_EQ(::GetFileAttributesW((strPath + L".mp3").c_str()), INVALID_FILE_ATTRIBUTES);
    m_pServer->SetRecordState(RECSTATE_STOPPED);
    m_pServer->StartRecording(strPath.c_str(), 32000, 64, 1);
    EXPECT_TRUE(m_pServer->GetRecorder()->IsActive());
    m_pServer->GetRecorder()->Stop();
    EXPECT_NE(::GetFileAttributesW((strPath + L".mp3").c_str()), INVALID_FILE_ATTRIBUTES);
    ::DeleteFileW((strPath + L".mp3").c_str());
}

TEST_F(AudioServerTest, DestroyWhileClientsStreamEndsCleanly) {
    StartBoth();
    CRecordingWriter writer;
    ASSERT_TRUE(CRecorderSeam::StartWith(*m_pServer->GetRecorder(), &writer, true));
    m_pServer->SetRecordState(RECSTATE_RECORDING);
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
    EXPECT_EQ(m_pServer->GetRecordState(), RECSTATE_IDLE);
}
