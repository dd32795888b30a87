// skypesim as a program: a raw API client written here (window messages only)
// attaches to it, sends commands and receives its texts; TCP listeners take
// the audio it streams.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "AudioSource.h"
#include "base/StringUtil.h"

namespace {

std::wstring BinDir() {
    wchar_t path[MAX_PATH];
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring s = path;
    return s.substr(0, s.find_last_of(L"\\/") + 1);
}

std::wstring TempPath(const std::wstring& name) {
    wchar_t dir[MAX_PATH];
    ::GetTempPathW(MAX_PATH, dir);
    return std::wstring(dir) + L"skypesim_" + name;
}

void WriteText(const std::wstring& path, const std::string& text) {
    FILE* f = _wfopen(path.c_str(), L"wb");
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
}

std::string ReadText(const std::wstring& path) {
    std::string s;
    FILE* f = _wfopen(path.c_str(), L"rb");
    if (!f) return s;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    fclose(f);
    return s;
}

// The log lines of one kind, without their times.
std::vector<std::string> LogLines(const std::string& log, const std::string& kind) {
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos < log.size()) {
        size_t end = log.find('\n', pos);
        if (end == std::string::npos) end = log.size();
        std::string line = log.substr(pos, end - pos);
        pos = end + 1;
        size_t sp = line.find(' ');
        if (sp != std::string::npos && line.compare(sp + 1, kind.size() + 1, kind + " ") == 0)
            out.push_back(line.substr(sp + kind.size() + 2));
    }
    return out;
}

class CSimProcess {
public:
    explicit CSimProcess(const std::wstring& args) {
        m_strOut = TempPath(L"out.txt");
        SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
        HANDLE hOut = ::CreateFileW(m_strOut.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                                    CREATE_ALWAYS, 0, nullptr);
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = hOut;
        si.hStdError = hOut;
        si.hStdInput = nullptr;
        std::wstring cmd = L"\"" + BinDir() + L"skypesim.exe\" " + args;
        PROCESS_INFORMATION pi = {};
        m_bStarted = ::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
        ::CloseHandle(hOut);
        if (m_bStarted) {
            m_hProcess = pi.hProcess;
            ::CloseHandle(pi.hThread);
        }
    }
    ~CSimProcess() {
        if (m_hProcess) {
            if (::WaitForSingleObject(m_hProcess, 0) == WAIT_TIMEOUT) ::TerminateProcess(m_hProcess, 99);
            ::CloseHandle(m_hProcess);
        }
    }
    bool Started() const { return m_bStarted; }
    // Exit code, or -1 when it did not end in time.
    int Wait(DWORD ms) {
        if (!m_hProcess || ::WaitForSingleObject(m_hProcess, ms) != WAIT_OBJECT_0) return -1;
        DWORD code = 0;
        ::GetExitCodeProcess(m_hProcess, &code);
        return static_cast<int>(code);
    }
    std::string Output() const { return ReadText(m_strOut); }

private:
    bool m_bStarted = false;
    HANDLE m_hProcess = nullptr;
    std::wstring m_strOut;
};

// A minimal Desktop API client: its own window, the two registered messages, WM_COPYDATA.
class CRawClient {
public:
    CRawClient() {
        m_uAttach = ::RegisterWindowMessageW(L"SkypeControlAPIAttach");
        m_uDiscover = ::RegisterWindowMessageW(L"SkypeControlAPIDiscover");
        WNDCLASSW wc = {};
        wc.lpfnWndProc = Proc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"SkypeSimTestClient";
        ::RegisterClassW(&wc);
        m_hWnd = ::CreateWindowExW(0, wc.lpszClassName, L"client", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr,
                                   nullptr, wc.hInstance, this);
    }
    ~CRawClient() { ::DestroyWindow(m_hWnd); }

    void Discover() { ::SendNotifyMessageW(HWND_BROADCAST, m_uDiscover, reinterpret_cast<WPARAM>(m_hWnd), 0); }
    LRESULT Send(const std::string& text) {
        std::string data = text;
        data.push_back('\0');
        COPYDATASTRUCT cds = {0, static_cast<DWORD>(data.size()), data.data()};
        return ::SendMessageW(m_hSkype, WM_COPYDATA, reinterpret_cast<WPARAM>(m_hWnd), reinterpret_cast<LPARAM>(&cds));
    }
    // Pumps messages until pred holds or ms pass.
    bool WaitFor(const std::function<bool()>& pred, DWORD ms) {
        DWORD start = ::GetTickCount();
        while (!pred()) {
            if (::GetTickCount() - start > ms) return false;
            MSG msg;
            while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        }
        return true;
    }
    bool WaitText(const std::string& text, DWORD ms = 5000) {
        return WaitFor([&] { return Has(text); }, ms);
    }
    bool Has(const std::string& text) const {
        for (const auto& t : texts)
            if (t == text) return true;
        return false;
    }
    // Announce, then discover, then success: the usual way in.
    bool Attach() {
        if (!WaitFor([&] { return m_bAnnounced; }, 15000)) return false;
        Discover();
        return WaitFor([&] { return !statuses.empty(); }, 5000) && statuses.back() == 0;
    }

    HWND m_hWnd = nullptr;
    HWND m_hSkype = nullptr;
    bool m_bAnnounced = false;
    std::vector<LPARAM> statuses;
    std::vector<std::string> texts;

private:
    static LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l) {
        if (m == WM_NCCREATE)
            ::SetWindowLongPtrW(h, GWLP_USERDATA,
                                reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams));
        auto* self = reinterpret_cast<CRawClient*>(::GetWindowLongPtrW(h, GWLP_USERDATA));
        if (self && m == self->m_uAttach) {
            if (l == 0x8001) {
                self->m_bAnnounced = true;
            } else {
                self->statuses.push_back(l);
                if (l == 0) self->m_hSkype = reinterpret_cast<HWND>(w);
            }
            return 1;
        }
        if (self && m == WM_COPYDATA) {
            if (reinterpret_cast<HWND>(w) != self->m_hSkype) return 0;
            auto* cds = reinterpret_cast<COPYDATASTRUCT*>(l);
            self->texts.emplace_back(static_cast<const char*>(cds->lpData));
            return 1;
        }
        return ::DefWindowProcW(h, m, w, l);
    }
    UINT m_uAttach, m_uDiscover;
};

// Takes the connections made to one loopback port and counts what arrives.
class CListener {
public:
    CListener() {
        m_s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_s, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(m_s, 4);
        int len = sizeof a;
        ::getsockname(m_s, reinterpret_cast<sockaddr*>(&a), &len);
        m_nPort = ntohs(a.sin_port);
        m_thread = std::thread([this] { Run(); });
    }
    ~CListener() {
        m_bStop = true;
        m_thread.join();
        ::closesocket(m_s);
    }
    int Port() const { return m_nPort; }
    void Join() {
        m_bStop = true;
        m_thread.join();
        m_thread = std::thread([] {});
    }

    std::atomic<int> connections{0};
    std::atomic<long long> bytes{0};
    std::atomic<int> closes{0};
    std::atomic<double> seconds{0};  // first connect to last close
    std::string head;                // the first 3200 bytes
    std::vector<std::pair<double, int>> reads;  // seconds since the first connect, bytes

private:
    void Run() {
        std::vector<SOCKET> conns;
        LARGE_INTEGER f, t0 = {}, t;
        ::QueryPerformanceFrequency(&f);
        char buf[8192];
        while (!m_bStop || !conns.empty()) {
            fd_set rd;
            FD_ZERO(&rd);
            FD_SET(m_s, &rd);
            for (SOCKET c : conns) FD_SET(c, &rd);
            timeval tv = {0, 20000};
            if (::select(0, &rd, nullptr, nullptr, &tv) <= 0) {
                if (m_bStop) break;
                continue;
            }
            if (FD_ISSET(m_s, &rd)) {
                conns.push_back(::accept(m_s, nullptr, nullptr));
                if (connections++ == 0) ::QueryPerformanceCounter(&t0);
            }
            for (size_t i = 0; i < conns.size();) {
                if (!FD_ISSET(conns[i], &rd)) {
                    ++i;
                    continue;
                }
                int r = ::recv(conns[i], buf, sizeof buf, 0);
                if (r > 0) {
                    ::QueryPerformanceCounter(&t);
                    reads.emplace_back(static_cast<double>(t.QuadPart - t0.QuadPart) / f.QuadPart, r);
                    if (head.size() < 3200) head.append(buf, std::min<size_t>(r, 3200 - head.size()));
                    bytes += r;
                    ++i;
                    continue;
                }
                ::QueryPerformanceCounter(&t);
                seconds = static_cast<double>(t.QuadPart - t0.QuadPart) / f.QuadPart;
                ++closes;
                ::closesocket(conns[i]);
                conns.erase(conns.begin() + static_cast<std::ptrdiff_t>(i));
            }
        }
        for (SOCKET c : conns) ::closesocket(c);
    }
    SOCKET m_s;
    int m_nPort = 0;
    std::atomic<bool> m_bStop{false};
    std::thread m_thread;
};

class SkypeSimProcess : public ::testing::Test {
protected:
    void SetUp() override {
        WSADATA wsa;
        ::WSAStartup(MAKEWORD(2, 2), &wsa);
    }
    void TearDown() override { ::WSACleanup(); }
};


}  // namespace

TEST_F(SkypeSimProcess, AttachesAnswersCommandsAndLogsThemInOrder) {
    std::wstring log = TempPath(L"attach.log");
    CRawClient client;  // before skypesim starts, so that it hears the announce
    CSimProcess sim(L"--announce --quit-after 30 --log \"" + log + L"\"");
    ASSERT_TRUE(sim.Started());
    ASSERT_TRUE(client.Attach());
    // What Skype says on its own after the attach.
    ASSERT_TRUE(client.WaitText("USERSTATUS ONLINE"));
    EXPECT_EQ(client.texts[0], "CONNSTATUS ONLINE");
    EXPECT_EQ(client.texts[1], "CURRENTUSERHANDLE alice");

    EXPECT_NE(client.Send("get currentuserhandle"), 0);
    EXPECT_NE(client.Send("search friends"), 0);
    EXPECT_NE(client.Send("get user bob fullname"), 0);
    EXPECT_NE(client.Send("ping"), 0);
    EXPECT_NE(client.Send("get call 5 status"), 0);
    ASSERT_TRUE(client.WaitText("ERROR 11 Invalid call id"));
    size_t n = client.texts.size();
    EXPECT_EQ(client.texts[n - 5], "CURRENTUSERHANDLE alice");
    EXPECT_EQ(client.texts[n - 4], "USERS bob, carol");
    EXPECT_EQ(client.texts[n - 3], "USER bob FULLNAME Bob Builder");
    EXPECT_EQ(client.texts[n - 2], "PONG");

    // A window that never attached is refused.
    CRawClient stranger;
    stranger.m_hSkype = client.m_hSkype;
    EXPECT_EQ(stranger.Send("ping"), 0);

    // Discovering again while attached (keep-alive) gets success again, without the greeting.
    client.Discover();
    ASSERT_TRUE(client.WaitFor([&] { return client.statuses.size() == 2; }, 5000));
    EXPECT_EQ(client.statuses[1], 0);

    ::PostMessageW(client.m_hSkype, WM_CLOSE, 0, 0);
    EXPECT_EQ(sim.Wait(10000), 0);
    std::string text = ReadText(log);
    std::vector<std::string> recv = LogLines(text, "RECV");
    ASSERT_EQ(recv.size(), 5u) << text;
    EXPECT_EQ(recv[0], "get currentuserhandle");
    EXPECT_EQ(recv[3], "ping");
    EXPECT_EQ(LogLines(text, "REFUSED"), std::vector<std::string>{"ping"});
    std::vector<std::string> sent = LogLines(text, "SEND");
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "PONG"), 1);
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "CONNSTATUS ONLINE"), 1);
    EXPECT_EQ(LogLines(text, "INFO").back(), "exit close");
}

TEST_F(SkypeSimProcess, RefusesAttachOrCommandsWhenToldTo) {
    {
        CRawClient client;  // before skypesim starts, so that it hears the announce
        CSimProcess sim(L"--announce --refuse-attach --quit-after 20");
        ASSERT_TRUE(client.WaitFor([&] { return client.m_bAnnounced; }, 15000));
        client.Discover();
        ASSERT_TRUE(client.WaitFor([&] { return !client.statuses.empty(); }, 5000));
        EXPECT_EQ(client.statuses[0], 2);
        EXPECT_TRUE(client.texts.empty());
        EXPECT_EQ(sim.Wait(0), -1);
    }
    {
        std::wstring log = TempPath(L"refuse.log");
        CRawClient client;  // before skypesim starts, so that it hears the announce
        CSimProcess sim(L"--announce --refuse-commands --quiet-attach --quit-after 20 --log \"" + log + L"\"");
        ASSERT_TRUE(client.Attach());
        EXPECT_EQ(client.Send("ping"), 0);
        EXPECT_FALSE(client.WaitText("PONG", 300));
        ::PostMessageW(client.m_hSkype, WM_CLOSE, 0, 0);
        EXPECT_EQ(sim.Wait(10000), 0);
        EXPECT_EQ(LogLines(ReadText(log), "REFUSED"), std::vector<std::string>{"ping"});
    }
}

TEST_F(SkypeSimProcess, CallStreamsBothSidesUntilItEnds) {
    CListener mic, remote;
    std::wstring scenario = TempPath(L"call.txt"), log = TempPath(L"call.log");
    WriteText(scenario,
              "wait-attach\n"
              "call 17 incoming bob\n"
              "after 0.1 call 17 status INPROGRESS\n"
              "wait-recv alter call 17 set_capture_mic\n"
              "after 0.5 call 17 hold\n"
              "after 0.3 call 17 resume\n"
              "after 0.5 call 17 status FINISHED\n"
              "after 0.2 exit\n");
    const int nSpeed = 4;
    CRawClient client;  // before skypesim starts, so that it hears the announce
    CSimProcess sim(L"--announce --speed " + std::to_wstring(nSpeed) + L" --quit-after 30 --scenario \"" +
                    scenario + L"\" --log \"" + log + L"\"");
    ASSERT_TRUE(client.Attach());
    ASSERT_TRUE(client.WaitText("CALL 17 STATUS INPROGRESS"));
    std::string rp = std::to_string(remote.Port()), mp = std::to_string(mic.Port());
    EXPECT_NE(client.Send("alter call 17 set_output soundcard=\"default\" port=\"" + rp + "\""), 0);
    EXPECT_NE(client.Send("alter call 17 set_capture_mic port=\"" + mp + "\""), 0);
    // Asked twice, as the recorder does when it starts on its own: still one connection.
    EXPECT_NE(client.Send("alter call 17 set_capture_mic port=\"" + mp + "\""), 0);
    ASSERT_TRUE(client.WaitText("CALL 17 STATUS FINISHED", 15000));
    ASSERT_EQ(sim.Wait(10000), 0);
    mic.Join();
    remote.Join();

    EXPECT_TRUE(client.Has("ALTER CALL 17 SET_OUTPUT soundcard=\"default\" port=\"" + rp + "\""));
    std::vector<std::string> statuses;
    for (const auto& t : client.texts)
        if (t.rfind("CALL 17 STATUS ", 0) == 0) statuses.push_back(t.substr(15));
    EXPECT_EQ(statuses, (std::vector<std::string>{"RINGING", "INPROGRESS", "LOCALHOLD", "INPROGRESS", "FINISHED"}));
    for (CListener* l : {&mic, &remote}) {
        EXPECT_EQ(l->connections, 1);
        EXPECT_EQ(l->closes, 1);  // closed by skypesim when the call finished
        EXPECT_GT(l->bytes, 0);
        EXPECT_EQ(l->bytes % SIM_BLOCK_BYTES, 0);
        // Paced against the clock: never ahead of speed x real time.
        EXPECT_LE(l->bytes / SIM_BLOCK_BYTES, static_cast<long long>(nSpeed * 100 * l->seconds) + 3);
    }
    // The microphone side is the 440 Hz default tone, the remote side the 1000 Hz one.
    SimSourceDesc sourceDesc;
    sourceDesc.dFrequency = 440;
    std::wstring err;
    auto src = CAudioSource::Create(sourceDesc, err);
    uint8_t block[SIM_BLOCK_BYTES];
    src->NextBlock(block);
    ASSERT_GE(mic.head.size(), static_cast<size_t>(SIM_BLOCK_BYTES));
    EXPECT_EQ(mic.head.compare(0, SIM_BLOCK_BYTES, reinterpret_cast<char*>(block), SIM_BLOCK_BYTES), 0);
    EXPECT_NE(remote.head.compare(0, SIM_BLOCK_BYTES, reinterpret_cast<char*>(block), SIM_BLOCK_BYTES), 0);

    std::string text = ReadText(log);
    std::vector<std::string> audio = LogLines(text, "AUDIO");
    auto has = [&](const std::string& s) { return std::find(audio.begin(), audio.end(), s) != audio.end(); };
    EXPECT_TRUE(has("call 17 mic connect " + mp + " ok")) << text;
    EXPECT_TRUE(has("call 17 mic already streaming to " + mp)) << text;
    EXPECT_TRUE(has("call 17 mic pause"));
    EXPECT_TRUE(has("call 17 remote resume"));
    EXPECT_TRUE(has("call 17 mic closed blocks=" + std::to_string(mic.bytes / SIM_BLOCK_BYTES) +
                    " bytes=" + std::to_string(mic.bytes)))
        << text;
    EXPECT_EQ(LogLines(text, "INFO").back(), "exit scenario");
}

TEST_F(SkypeSimProcess, SilentAnswersNothingUntilResumed) {
    std::wstring scenario = TempPath(L"silent.txt"), log = TempPath(L"silent.log");
    WriteText(scenario, "wait-attach\nwait-recv ping\nsilent\nwait-recv ping\nafter 0.5 resume\n");
    CRawClient client;  // before skypesim starts, so that it hears the announce
    CSimProcess sim(L"--announce --quiet-attach --quit-after 30 --scenario \"" + scenario + L"\" --log \"" + log +
                    L"\"");
    ASSERT_TRUE(client.Attach());
    client.Send("ping");
    ASSERT_TRUE(client.WaitText("PONG"));
    client.texts.clear();
    // The scenario goes silent on its own clock: wait for that step before pinging again.
    ASSERT_TRUE(client.WaitFor([&] { return ReadText(log).find("STEP line 3") != std::string::npos; }, 10000));
    EXPECT_NE(client.Send("ping"), 0);  // still accepted, as a hung Skype's window would be
    client.Discover();
    EXPECT_FALSE(client.WaitText("PONG", 300));
    EXPECT_EQ(client.statuses.size(), 1u);  // the discover went unanswered
    ASSERT_TRUE(client.WaitFor([&] { return ReadText(log).find("STEP line 5") != std::string::npos; }, 10000));
    client.Send("ping");
    EXPECT_TRUE(client.WaitText("PONG"));
    ::PostMessageW(client.m_hSkype, WM_CLOSE, 0, 0);
    EXPECT_EQ(sim.Wait(10000), 0);
    EXPECT_EQ(LogLines(ReadText(log), "DROP"), std::vector<std::string>{"PONG"});
}

TEST_F(SkypeSimProcess, StreamModeSendsTheExactBlockCountAtPace) {
    {
        CListener mic, remote;
        CSimProcess sim(L"--stream --seconds 1 --mic-port " + std::to_wstring(mic.Port()) + L" --remote-port " +
                        std::to_wstring(remote.Port()) + L" --quit-after 30");
        ASSERT_EQ(sim.Wait(20000), 0) << sim.Output();
        mic.Join();
        remote.Join();
        EXPECT_EQ(mic.bytes, 100 * SIM_BLOCK_BYTES);
        EXPECT_EQ(remote.bytes, 100 * SIM_BLOCK_BYTES);
        // 100 blocks at real time take (almost) a second and never much less.
        EXPECT_GE(mic.seconds, 0.95);
        std::string out = sim.Output();
        EXPECT_NE(out.find("mic: port=" + std::to_string(mic.Port()) + " blocks=100 bytes=32000"), std::string::npos)
            << out;
        EXPECT_NE(out.find("total: blocks=200"), std::string::npos) << out;
    }
    {
        CListener mic;
        CSimProcess sim(L"--stream --seconds 20 --speed max --mic silence --mic-port " + std::to_wstring(mic.Port()) +
                        L" --quit-after 30");
        ASSERT_EQ(sim.Wait(25000), 0) << sim.Output();
        mic.Join();
        EXPECT_EQ(mic.bytes, 2000 * SIM_BLOCK_BYTES);
    }
    {
        // Nobody listens on the port of a listener that is gone.
        int port;
        {
            CListener gone;
            port = gone.Port();
        }
        CSimProcess sim(L"--stream --seconds 1 --mic-port " + std::to_wstring(port) + L" --quit-after 30");
        EXPECT_EQ(sim.Wait(20000), 1);
        EXPECT_NE(sim.Output().find("result=connect-failed"), std::string::npos) << sim.Output();
    }
}

TEST_F(SkypeSimProcess, AFastOrSlowClockPacesItsSideAndAHeldUpSpanArrivesAtOnce) {
    CListener mic, remote;
    // 2 s of audio from a clock 5 % fast and one 5 % slow; the slow one holds back 0.5 s from 0.5 s.
    CSimProcess sim(L"--stream --seconds 2 --mic-port " + std::to_wstring(mic.Port()) + L" --remote-port " +
                    std::to_wstring(remote.Port()) +
                    L" --mic-ppm 50000 --remote-ppm -50000 --remote-holdup 0.5:0.5 --quit-after 30");
    ASSERT_EQ(sim.Wait(20000), 0) << sim.Output();
    mic.Join();
    remote.Join();
    EXPECT_EQ(mic.bytes, 200 * SIM_BLOCK_BYTES);
    EXPECT_EQ(remote.bytes, 200 * SIM_BLOCK_BYTES);
    // The last block leaves 1.99 s of audio after the first: 1.895 s fast, 2.095 s slow.
    EXPECT_GE(mic.seconds, 1.88);
    EXPECT_LT(mic.seconds, 1.98);
    EXPECT_GE(remote.seconds, 2.09);
    auto received = [&](double from, double to) {
        long long n = 0;
        for (const auto& [t, bytes] : remote.reads)
            if (t >= from && t < to) n += bytes;
        return n / SIM_BLOCK_BYTES;
    };
    // Block 49 is due at 0.516 s; blocks 50 to 99 are held until block 100 is due, at 1.053 s.
    EXPECT_EQ(received(0.56, 1.04), 0);
    EXPECT_GE(received(1.04, 1.09), 51);
    EXPECT_LE(received(1.09, 1.2), 12);
}

TEST_F(SkypeSimProcess, BadScenarioOrOptionStopsBeforeStarting) {
    std::wstring scenario = TempPath(L"bad.txt");
    WriteText(scenario, "wait-attach\ncall 17 ring bob\n");
    CSimProcess sim(L"--quit-after 10 --scenario \"" + scenario + L"\"");
    EXPECT_EQ(sim.Wait(10000), 2);
    EXPECT_NE(sim.Output().find("scenario line 2: unknown call action 'ring'"), std::string::npos) << sim.Output();
    CSimProcess sim2(L"--quit-after 10 --speed fast");
    EXPECT_EQ(sim2.Wait(10000), 2);
    EXPECT_NE(sim2.Output().find("--speed"), std::string::npos);
}
