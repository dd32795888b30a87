// The Skype link for real: this process runs CSkypeClient with a notify
// window, skypesim plays Skype in its own process, and they talk through
// registered messages, broadcasts and WM_COPYDATA as Skype and a client do.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "base/StringUtil.h"
#include "skype/SkypeClient.h"

namespace {

// ---- the notify window --------------------------------------------------

struct SeenEvent {
    UINT uMsg;
    WPARAM wParam;
    LPARAM lParam;
    int nSlotStatus;  // for WM_SKYPE_CALL: the slot's status when handled
    std::wstring strSlotPartner;
};
std::vector<SeenEvent> g_events;

LRESULT CALLBACK NotifyProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg >= WM_SKYPE_ATTACHED && uMsg <= WM_SKYPE_INCOMING_PSTN) {
        SeenEvent e{uMsg, wParam, lParam, -1, L""};
        if (uMsg == WM_SKYPE_CALL) {
            // Receivers read the current state when they handle the event.
            CCallList* pCalls = CCallList::GetInstance();
            e.nSlotStatus = pCalls->GetStatus((int)(INT_PTR)wParam);
            e.strSlotPartner = pCalls->GetSlot((int)(INT_PTR)wParam).m_strPartner;
        }
        g_events.push_back(e);
        return 0;
    }
    return ::DefWindowProcW(hwnd, uMsg, wParam, lParam);
}

HWND CreateNotifyWindow() {
    static bool s_bRegistered = false;
    if (!s_bRegistered) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = NotifyProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"OmbraSkypeLinkTestNotify";
        s_bRegistered = ::RegisterClassW(&wc) != 0;
    }
    return ::CreateWindowExW(0, L"OmbraSkypeLinkTestNotify", L"notify", 0, 0, 0, 0, 0, nullptr,
                             nullptr, ::GetModuleHandleW(nullptr), nullptr);
}

size_t CountEvents(UINT uMsg) {
    size_t n = 0;
    for (const SeenEvent& e : g_events) n += e.uMsg == uMsg;
    return n;
}

// Runs this thread's message loop until pred holds or the time is up.
bool PumpUntil(const std::function<bool()>& pred, DWORD dwTimeoutMs, HANDLE hWait = nullptr) {
    DWORD dwStart = ::GetTickCount();
    for (;;) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) continue;  // from a stopped client's API window
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        if (pred()) return true;
        DWORD dwElapsed = ::GetTickCount() - dwStart;
        if (dwElapsed >= dwTimeoutMs) return false;
        DWORD dwSlice = std::min<DWORD>(20, dwTimeoutMs - dwElapsed);
        ::MsgWaitForMultipleObjects(hWait ? 1 : 0, hWait ? &hWait : nullptr, FALSE, dwSlice,
                                    QS_ALLINPUT);
    }
}

void Pump(DWORD dwMs) {
    PumpUntil([] { return false; }, dwMs);
}

// ---- helper processes ----------------------------------------------------

std::wstring BinDir() {
    wchar_t szPath[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, szPath, MAX_PATH);
    std::wstring str = szPath;
    return str.substr(0, str.find_last_of(L"\\/") + 1);
}

std::wstring TempFile(const std::wstring& strName) {
    wchar_t szDir[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, szDir);
    return FormatW(L"%lsombra-skypelink-%lu-%ls", szDir, ::GetCurrentProcessId(), strName.c_str());
}

std::string ReadFileBytes(const std::wstring& strPath) {
    HANDLE h = ::CreateFileW(strPath.c_str(), GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::string();
    std::string str;
    char buf[4096];
    DWORD dwRead = 0;
    while (::ReadFile(h, buf, sizeof(buf), &dwRead, nullptr) && dwRead) str.append(buf, dwRead);
    ::CloseHandle(h);
    return str;
}

void WriteFileBytes(const std::wstring& strPath, const std::string& str) {
    FILE* pFile = _wfopen(strPath.c_str(), L"wb");
    ASSERT_TRUE(pFile);
    fwrite(str.data(), 1, str.size(), pFile);
    fclose(pFile);
}

struct CProcess {
    PROCESS_INFORMATION pi{};
    bool Launch(const std::wstring& strCommandLine, const std::wstring& strStdout) {
        SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
        HANDLE hOut = ::CreateFileW(strStdout.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa,
                                    CREATE_ALWAYS, 0, nullptr);
        HANDLE hIn = ::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                                   OPEN_EXISTING, 0, nullptr);
        STARTUPINFOW si{};
        si.cb = sizeof(si);
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = hIn;
        si.hStdOutput = hOut;
        si.hStdError = hOut;
        std::wstring strCmd = strCommandLine;
        BOOL bOk = ::CreateProcessW(nullptr, strCmd.data(), nullptr, nullptr, TRUE,
                                    CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi);
        ::CloseHandle(hOut);
        ::CloseHandle(hIn);
        return bOk != FALSE;
    }
    // Waits for the end while answering messages sent to this thread.
    DWORD WaitExit(DWORD dwTimeoutMs) {
        if (!pi.hProcess) return (DWORD)-1;
        HANDLE h = pi.hProcess;
        PumpUntil([h] { return ::WaitForSingleObject(h, 0) == WAIT_OBJECT_0; }, dwTimeoutMs, h);
        DWORD dwCode = (DWORD)-1;
        if (::WaitForSingleObject(h, 0) == WAIT_OBJECT_0) ::GetExitCodeProcess(h, &dwCode);
        return dwCode;
    }
    void Kill() {
        if (pi.hProcess && ::WaitForSingleObject(pi.hProcess, 0) != WAIT_OBJECT_0) {
            ::TerminateProcess(pi.hProcess, 9);
            ::WaitForSingleObject(pi.hProcess, 5000);
        }
    }
    ~CProcess() {
        Kill();
        if (pi.hProcess) ::CloseHandle(pi.hProcess);
        if (pi.hThread) ::CloseHandle(pi.hThread);
    }
};

// skypesim with a scenario and a log.
class CSkypeSim {
public:
    explicit CSkypeSim(const std::wstring& strName) : m_strName(strName) {}
    ~CSkypeSim() { Close(); }

    bool Start(const std::string& strScenario, const std::wstring& strOptions = L"") {
        m_strLog = TempFile(m_strName + L".log");
        ::DeleteFileW(m_strLog.c_str());
        std::wstring strCmd = L"\"" + BinDir() + L"skypesim.exe\" --log \"" + m_strLog +
                              L"\" --quit-after 60 " + strOptions;
        if (!strScenario.empty()) {
            std::wstring strScenarioFile = TempFile(m_strName + L".txt");
            WriteFileBytes(strScenarioFile, strScenario);
            strCmd += L" --scenario \"" + strScenarioFile + L"\"";
        }
        if (!m_process.Launch(strCmd, TempFile(m_strName + L".out"))) return false;
        // Ready once its window exists and it has logged its start.
        return PumpUntil([this] { return Log().find(" INFO start") != std::string::npos; }, 15000);
    }
    std::string Log() const { return ReadFileBytes(m_strLog); }
    // The texts of the log lines of one kind, in order.
    std::vector<std::string> Lines(const std::string& strKind) const {
        std::vector<std::string> lines;
        std::string strLog = Log(), strTag = " " + strKind + " ";
        size_t nPos = 0;
        while (nPos < strLog.size()) {
            size_t nEnd = strLog.find('\n', nPos);
            if (nEnd == std::string::npos) nEnd = strLog.size();
            std::string strLine = strLog.substr(nPos, nEnd - nPos);
            if (!strLine.empty() && strLine.back() == '\r') strLine.pop_back();
            size_t nTag = strLine.find(strTag);
            if (nTag != std::string::npos) lines.push_back(strLine.substr(nTag + strTag.size()));
            nPos = nEnd + 1;
        }
        return lines;
    }
    size_t Count(const std::string& strKind, const std::string& strText) const {
        size_t n = 0;
        for (const std::string& s : Lines(strKind)) n += s == strText;
        return n;
    }
    void Close() {
        HWND hwnd = ::FindWindowW(L"SkypeSimApiWnd", nullptr);
        if (hwnd) ::PostMessageW(hwnd, WM_CLOSE, 0, 0);
        m_process.WaitExit(5000);
        m_process.Kill();
    }

private:
    std::wstring m_strName;
    std::wstring m_strLog;
    CProcess m_process;
};

// The real Win32 host with short keep-alive and rediscover periods (1.5 s for
// 30 s), so their timeline plays in seconds instead of minutes.
class CQuickKeepAliveHost : public CWin32SkypeHost {
public:
    static constexpr UINT PERIOD_MS = 1500;
    UINT_PTR StartTimer(CSkypeClient* pClient, UINT uElapse) override {
        bool bLong = uElapse == CSkypeClient::KEEPALIVE_PERIOD_MS ||
                     uElapse == CSkypeClient::REDISCOVER_PERIOD_MS;
        return CWin32SkypeHost::StartTimer(pClient, bLong ? PERIOD_MS : uElapse);
    }
};

// The time skypesim logged for the first line at or after nFrom that holds
// every one of the texts; -1 when there is none.
double LogTime(const std::string& strLog, std::initializer_list<const char*> texts,
               size_t nFrom = 0) {
    for (size_t nPos = strLog.rfind('\n', nFrom) + 1; nPos < strLog.size();) {
        size_t nEnd = strLog.find('\n', nPos);
        if (nEnd == std::string::npos) nEnd = strLog.size();
        std::string strLine = strLog.substr(nPos, nEnd - nPos);
        bool bAll = true;
        for (const char* psz : texts) bAll = bAll && strLine.find(psz) != std::string::npos;
        if (bAll) return atof(strLine.c_str());
        nPos = nEnd + 1;
    }
    return -1;
}

class SkypeLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_events.clear();
        m_hwndNotify = CreateNotifyWindow();
        ASSERT_TRUE(m_hwndNotify);
    }
    void TearDown() override {
        m_pClient.reset();
        Pump(50);
        ::DestroyWindow(m_hwndNotify);
    }
    void StartClient() {
        m_pClient = std::make_unique<CSkypeClient>(&m_host);
        ASSERT_TRUE(m_pClient->Start(m_hwndNotify));
    }
    bool WaitAttached(DWORD dwMs = 10000) {
        return PumpUntil([] { return CountEvents(WM_SKYPE_ATTACHED) > 0; }, dwMs);
    }

    HWND m_hwndNotify = nullptr;
    CQuickKeepAliveHost m_host;
    std::unique_ptr<CSkypeClient> m_pClient;
};

const std::vector<std::string> STARTUP = {"get currentuserhandle", "get connstatus",
                                          "get userstatus", "search friends"};

}  // namespace

TEST_F(SkypeLinkTest, AttachStartupFriendsAndACall) {
    CSkypeSim sim(L"call");
    ASSERT_TRUE(
        sim.Start("wait-attach\n"
                  "after 2 call 17 incoming bob\n"
                  "after 1 call 17 status INPROGRESS\n"
                  "after 1.5 call 17 dtmf 5\n"
                  "after 0.5 call 17 status FINISHED\n"));
    StartClient();
    ASSERT_TRUE(WaitAttached());
    EXPECT_EQ(m_hwndNotify, m_pClient->GetNotifyWindow());
    EXPECT_TRUE(m_pClient->IsAttached());
    ASSERT_TRUE(PumpUntil([] { return CountEvents(WM_SKYPE_CONTACTS_CHANGED) > 0; }, 10000));

    std::vector<std::string> recv = sim.Lines("RECV");
    ASSERT_GE(recv.size(), 6u);
    EXPECT_EQ(STARTUP, std::vector<std::string>(recv.begin(), recv.begin() + 4));
    EXPECT_EQ(1u, sim.Count("RECV", "get user bob fullname"));
    EXPECT_EQ(1u, sim.Count("RECV", "get user carol fullname"));
    EXPECT_EQ(L"alice", m_pClient->GetCurrentUserHandle());
    EXPECT_EQ(USER_STATUS_ONLINE, m_pClient->GetUserStatus());
    CContactList* pContacts = m_pClient->GetContacts();
    ASSERT_EQ(2, pContacts->GetCount());
    EXPECT_EQ(L"bob", pContacts->At(0).m_strHandle);
    EXPECT_EQ(L"Bob Builder", pContacts->GetFullName(L"bob"));
    EXPECT_EQ(L"Carol Singer", pContacts->GetFullName(L"carol"));
    EXPECT_EQ(L"Bob Builder | Carol Singer | dave",
              pContacts->FormatDisplayNames(L"bob,carol,dave"));

    // The call: ringing, its partner, in progress, a key, finished.
    ASSERT_TRUE(PumpUntil(
        [] {
            for (const SeenEvent& e : g_events) {
                if (e.uMsg == WM_SKYPE_CALL && e.lParam == SKYPE_CALL_STATUS &&
                    e.nSlotStatus == CALL_STATUS_FINISHED)
                    return true;
            }
            return false;
        },
        15000));
    std::vector<int> statuses;
    bool bPartnerSeen = false;
    for (const SeenEvent& e : g_events) {
        if (e.uMsg != WM_SKYPE_CALL) continue;
        EXPECT_EQ(0u, e.wParam);  // the only call takes slot 0
        if (e.lParam == SKYPE_CALL_STATUS) statuses.push_back(e.nSlotStatus);
        if (e.lParam == SKYPE_CALL_PARTNER) {
            bPartnerSeen = true;
            EXPECT_EQ(L"bob", e.strSlotPartner);
        }
    }
    EXPECT_TRUE(bPartnerSeen);
    ASSERT_GE(statuses.size(), 3u);
    EXPECT_EQ(CALL_STATUS_RINGING, statuses.front());
    EXPECT_EQ(CALL_STATUS_FINISHED, statuses.back());
    EXPECT_NE(statuses.end(),
              std::find(statuses.begin(), statuses.end(), (int)CALL_STATUS_INPROGRESS));
    EXPECT_GE(CountEvents(WM_SKYPE_INCOMING_P2P), 1u);
    ASSERT_EQ(1u, CountEvents(WM_SKYPE_DTMF));
    for (const SeenEvent& e : g_events) {
        if (e.uMsg == WM_SKYPE_DTMF) {
            EXPECT_EQ((LPARAM)L'5', e.lParam);
        }
    }
    EXPECT_GE(sim.Count("RECV", "get call 17 type"), 1u);
    EXPECT_GE(sim.Count("RECV", "get call 17 partner_handle"), 1u);
    EXPECT_EQ(1u, sim.Count("RECV", "get call 17 target_identity"));
    EXPECT_EQ(L"bob", m_pClient->GetPartnerMap()->Lookup(L"17"));
    EXPECT_TRUE(m_pClient->IsIncomingCall());
    EXPECT_EQ(CALL_STATUS_FINISHED, m_pClient->GetCallList()->GetStatus(0));

    // The redirection commands as the other side reads them (the call is
    // over, so nothing connects).
    m_pClient->RedirectMicrophone(L"17", L"58377");
    m_pClient->RedirectOutput(L"17", L"58376");
    ASSERT_TRUE(PumpUntil(
        [&] {
            return sim.Count("SEND",
                             "ALTER CALL 17 SET_OUTPUT soundcard=\"default\" port=\"58376\"") > 0;
        },
        5000));
    EXPECT_EQ(1u, sim.Count("RECV", "alter call 17 set_capture_mic port=\"58377\""));
    EXPECT_EQ(1u,
              sim.Count("RECV", "alter call 17 set_output soundcard=\"default\" port=\"58376\""));
    EXPECT_EQ(0u, sim.Lines("FAIL").size());
}

TEST_F(SkypeLinkTest, KeepAlivePingPongThenSilenceDetachesAndThePeriodicDiscoverReattaches) {
    CSkypeSim sim(L"keepalive");
    // Silent for six periods (three minutes at 30 s), then back without
    // announcing itself.
    ASSERT_TRUE(
        sim.Start("wait-attach\n"
                  "after 4 silent\n"
                  "after 9 resume\n"));
    StartClient();
    ASSERT_TRUE(WaitAttached());
    // Every tick probes and Skype's pong keeps the link up.
    ASSERT_TRUE(PumpUntil([&] { return sim.Count("RECV", "ping") >= 2; }, 6000));
    Pump(300);
    EXPECT_GE(sim.Count("SEND", "PONG"), 2u);
    EXPECT_TRUE(m_pClient->IsAttached());
    EXPECT_FALSE(m_pClient->IsRediscovering());
    EXPECT_EQ(0, m_pClient->GetMissedPongs());
    size_t nDiscovers = 0;
    for (const std::string& s : sim.Lines("ATTACH")) nDiscovers += s.rfind("discover", 0) == 0;
    EXPECT_EQ(1u, nDiscovers);

    // Silence: unanswered ticks re-discover, the fourth detaches quietly.
    ASSERT_TRUE(PumpUntil([&] { return !m_pClient->IsAttached(); }, 12000));
    EXPECT_EQ(0u, m_pClient->GetKeepAliveTimer());
    EXPECT_FALSE(m_pClient->IsRediscovering());
    // Three discovers went out after the silence began, none answered.
    std::string strLog = sim.Log();
    size_t nSilent = strLog.find("STEP line 2: ");
    ASSERT_NE(std::string::npos, nSilent);
    nDiscovers = 0;
    for (size_t n = strLog.find("ATTACH discover", nSilent); n != std::string::npos;
         n = strLog.find("ATTACH discover", n + 1)) {
        ++nDiscovers;
    }
    EXPECT_EQ(3u, nDiscovers);
    EXPECT_EQ(1u, CountEvents(WM_SKYPE_ATTACHED));
    EXPECT_EQ(0u, CountEvents(WM_SKYPE_REFUSED));

    // Detached, the client keeps asking every period; Skype, back, answers the
    // next discover and the client attaches in full again, within one period.
    ASSERT_TRUE(PumpUntil([] { return CountEvents(WM_SKYPE_ATTACHED) == 2; }, 15000));
    EXPECT_TRUE(m_pClient->IsAttached());
    ASSERT_TRUE(PumpUntil([&] { return sim.Count("RECV", "search friends") == 2; }, 5000));
    EXPECT_EQ(2u, sim.Count("RECV", "get currentuserhandle"));
    strLog = sim.Log();
    size_t nResume = strLog.find("STEP line 3: resume");
    ASSERT_NE(std::string::npos, nResume);
    double dResume = LogTime(strLog, {"STEP line 3: resume"});
    double dAttach = LogTime(strLog, {"ATTACH discover", "-> 0"}, nResume);
    ASSERT_GT(dAttach, 0);
    printf("attached again %.2f s after Skype came back (period %.1f s)\n", dAttach - dResume,
           CQuickKeepAliveHost::PERIOD_MS / 1000.0);
    EXPECT_LT(dAttach - dResume, CQuickKeepAliveHost::PERIOD_MS / 1000.0 + 0.5);
}

TEST_F(SkypeLinkTest, RevokedAccessComesBackThroughTheKeepAliveDiscover) {
    CSkypeSim sim(L"revoke");
    ASSERT_TRUE(
        sim.Start("wait-attach\n"
                  "after 1 revoke\n"));
    StartClient();
    ASSERT_TRUE(WaitAttached());
    ASSERT_TRUE(PumpUntil([] { return CountEvents(WM_SKYPE_REFUSED) > 0; }, 10000));
    EXPECT_FALSE(m_pClient->IsAttached());
    // Skype answers the keep-alive's discover with success: a full attach again,
    // not a link that looks alive but sends nothing.
    ASSERT_TRUE(PumpUntil([] { return CountEvents(WM_SKYPE_ATTACHED) == 2; }, 15000));
    EXPECT_TRUE(m_pClient->IsAttached());
    ASSERT_TRUE(PumpUntil([&] { return sim.Count("RECV", "search friends") == 2; }, 5000));
    ASSERT_TRUE(PumpUntil([&] { return sim.Count("RECV", "ping") >= 1; }, 5000));
}

TEST_F(SkypeLinkTest, RefusedAttachPostsRefusedAndStopEndsTheWaitingSender) {
    CSkypeSim sim(L"refused");
    ASSERT_TRUE(sim.Start("", L"--refuse-attach"));
    // The process-wide client with the real host, as the main window uses it.
    CSkypeClient* pClient = CSkypeClient::GetInstance(m_hwndNotify);
    ASSERT_TRUE(pClient->IsStarted());
    ASSERT_TRUE(PumpUntil([] { return CountEvents(WM_SKYPE_REFUSED) > 0; }, 10000));
    EXPECT_FALSE(pClient->IsAttached());
    EXPECT_TRUE(pClient->IsStarted());
    EXPECT_EQ(0u, CountEvents(WM_SKYPE_ATTACHED));
    EXPECT_FALSE(pClient->QueueCommand(L"get connstatus"));

    HANDLE hThread = nullptr;
    ASSERT_TRUE(::DuplicateHandle(::GetCurrentProcess(), pClient->GetSenderThread(),
                                  ::GetCurrentProcess(), &hThread, SYNCHRONIZE, FALSE, 0));
    DWORD dwStart = ::GetTickCount();
    CSkypeClient::DestroyInstance();
    DWORD dwStopMs = ::GetTickCount() - dwStart;
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(hThread, 0));
    ::CloseHandle(hThread);
    printf("Stop before any attach took %lu ms\n", dwStopMs);
    EXPECT_TRUE(sim.Lines("RECV").empty());
}

TEST_F(SkypeLinkTest, CopyDataFromAWindowThatIsNotSkypesIsIgnored) {
    CSkypeSim sim(L"foreign");
    ASSERT_TRUE(sim.Start(""));
    StartClient();
    ASSERT_TRUE(WaitAttached());
    ASSERT_TRUE(PumpUntil([&] { return m_pClient->GetCurrentUserHandle() == L"alice"; }, 5000));

    // Another process (not Skype) sends a notification to the API window.
    std::wstring strOut = TempFile(L"copydata.txt");
    CProcess host;
    ASSERT_TRUE(host.Launch(
        FormatW(L"\"%lslinkhost.exe\" --out \"%ls\" --copydata %llx \"CURRENTUSERHANDLE mallory\"",
                BinDir().c_str(), strOut.c_str(),
                (unsigned long long)(UINT_PTR)m_pClient->GetApiWindow()),
        TempFile(L"copydata.out")));
    EXPECT_EQ(0u, host.WaitExit(15000));
    EXPECT_EQ("copydata: sent=1 result=0\n", ReadFileBytes(strOut).substr(0, 26));
    Pump(200);
    EXPECT_EQ(L"alice", m_pClient->GetCurrentUserHandle());
    EXPECT_TRUE(m_pClient->IsAttached());
}
