// The transport: the real hidden API window and sender thread, with the fake
// host standing in for timers, time, the broadcast and Skype's window.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakeSkypeHost.h"
#include "skype/SkypeClient.h"

namespace {

using Commands = std::vector<std::wstring>;
const HWND HWND_FAKE_SKYPE = reinterpret_cast<HWND>(0x5150);
const HWND HWND_FAKE_NOTIFY = reinterpret_cast<HWND>(0x6160);

void DrainThreadMessages() {
    MSG msg;  // the API window's WM_DESTROY posts a quit message
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
}

LRESULT SendText(HWND hwndApi, HWND hwndFrom, const std::string& strBytes) {
    COPYDATASTRUCT cds{};
    cds.cbData = (DWORD)strBytes.size();
    cds.lpData = const_cast<char*>(strBytes.data());
    return ::SendMessageW(hwndApi, WM_COPYDATA, (WPARAM)hwndFrom, (LPARAM)&cds);
}

// Waits (really, for the sender thread) until pred holds; generous for a busy machine.
template <typename Pred>
void WaitFor(Pred pred) {
    DWORD dwStart = ::GetTickCount();
    while (!pred() && ::GetTickCount() - dwStart < 20000) ::Sleep(1);
}

// The sender's sleeps after the idle polls it may make before the first command.
std::vector<DWORD> SleepsFromFirstSend(CFakeSkypeHost& host) {
    std::vector<DWORD> sleeps = host.Sleeps();
    size_t n = 0;
    while (n < sleeps.size() && sleeps[n] == 500) ++n;
    return std::vector<DWORD>(sleeps.begin() + n, sleeps.end());
}

std::vector<std::string> WaitForSends(CFakeSkypeHost& host, size_t n) {
    WaitFor([&] { return host.Sends().size() >= n; });
    return host.Sends();
}

// A started client whose sender thread pops nothing until attached.
class LinkTest : public ::testing::Test {
protected:
    LinkTest() : m_client(&m_host) {}
    void SetUp() override { ASSERT_TRUE(m_client.Start(HWND_FAKE_NOTIFY)); }
    void TearDown() override {
        m_client.Stop();
        DrainThreadMessages();
    }
    LRESULT Attach(LPARAM lStatus) {
        return ::SendMessageW(m_client.GetApiWindow(), m_client.GetAttachMessage(),
                              (WPARAM)HWND_FAKE_SKYPE, lStatus);
    }
    void Tick() { m_host.Advance(CSkypeClient::KEEPALIVE_PERIOD_MS); }

    CFakeSkypeHost m_host;
    CSkypeClient m_client;
};

// Attached, but with the queue read by the test instead of the sender thread.
class KeepAliveTest : public ::testing::Test {
protected:
    KeepAliveTest() : m_client(&m_host) { m_client.SetNotifyWindow(HWND_FAKE_NOTIFY); }
    void Answer(LPARAM lStatus) { m_client.OnAttachMessage(HWND_FAKE_SKYPE, lStatus); }
    void Tick() { m_host.Advance(CSkypeClient::KEEPALIVE_PERIOD_MS); }
    Commands Queued() { return DrainQueue(m_client.GetQueue()); }
    void Pong() {
        std::string str = "pong";
        COPYDATASTRUCT cds{0, (DWORD)str.size(), str.data()};
        m_client.OnCopyData(HWND_FAKE_SKYPE, &cds);
    }

    CFakeSkypeHost m_host;
    CSkypeClient m_client;
};

const Commands STARTUP = {L"get currentuserhandle", L"get connstatus", L"get userstatus",
                          L"search friends"};

}  // namespace

TEST_F(LinkTest, StartMakesTheHiddenApiWindowAndBroadcastsOncePerPeriod) {
    HWND hwndApi = m_client.GetApiWindow();
    ASSERT_TRUE(::IsWindow(hwndApi));
    EXPECT_FALSE(::IsWindowVisible(hwndApi));
    wchar_t szTitle[64] = {};
    ::GetWindowTextW(hwndApi, szTitle, 64);
    EXPECT_STREQ(L"ISkypeUIWnd", szTitle);
    std::wstring strClass = m_client.GetApiClassName();
    ASSERT_EQ(9u + 36u, strClass.size());  // "ISkypeWnd" and a UUID
    EXPECT_EQ(L"ISkypeWnd", strClass.substr(0, 9));
    EXPECT_EQ(L'-', strClass[9 + 8]);
    wchar_t szClass[128] = {};
    ::GetClassNameW(hwndApi, szClass, 128);
    EXPECT_EQ(strClass, szClass);
    EXPECT_EQ((DWORD)(WS_BORDER | WS_SYSMENU | WS_MINIMIZEBOX),
              (DWORD)::GetWindowLongPtrW(hwndApi, GWL_STYLE) & 0x8A0000u);

    ASSERT_EQ(1u, m_host.m_broadcasts.size());
    EXPECT_EQ(m_client.GetDiscoverMessage(), m_host.m_broadcasts[0].uMsg);
    EXPECT_EQ((WPARAM)hwndApi, m_host.m_broadcasts[0].wParam);
    EXPECT_NE(0u, m_client.GetDiscoverMessage());
    EXPECT_NE(m_client.GetDiscoverMessage(), m_client.GetAttachMessage());

    EXPECT_TRUE(m_client.Start(nullptr));  // already started: nothing changes
    EXPECT_EQ(1u, m_host.m_broadcasts.size());
    EXPECT_EQ(HWND_FAKE_NOTIFY, m_client.GetNotifyWindow());
    EXPECT_TRUE(m_host.m_events.empty());
    Tick();  // no Skype yet: asked again every period
    EXPECT_EQ(2u, m_host.m_broadcasts.size());
}

TEST_F(LinkTest, StopEndsTheSenderPromptlyBeforeAnyAttach) {
    HANDLE hThread = nullptr;
    ASSERT_TRUE(::DuplicateHandle(::GetCurrentProcess(), m_client.GetSenderThread(),
                                  ::GetCurrentProcess(), &hThread, SYNCHRONIZE, FALSE, 0));
    HWND hwndApi = m_client.GetApiWindow();
    std::wstring strClass = m_client.GetApiClassName();
    m_client.Stop();
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(hThread, 0));
    ::CloseHandle(hThread);
    // Released from its first wait, it never slept or sent.
    EXPECT_TRUE(m_host.Sleeps().empty());
    EXPECT_TRUE(m_host.Sends().empty());
    EXPECT_FALSE(::IsWindow(hwndApi));
    EXPECT_EQ(nullptr, m_client.GetApiWindow());
    EXPECT_FALSE(m_client.IsStarted());
    WNDCLASSW wc{};
    EXPECT_FALSE(::GetClassInfoW(nullptr, strClass.c_str(), &wc));
    MSG msg;
    EXPECT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST_F(LinkTest, CopyDataOnlyFromSkypesWindowAfterAttach) {
    HWND hwndApi = m_client.GetApiWindow();
    // Nothing is taken before the first attach, not even with a null sender.
    EXPECT_EQ(0, SendText(hwndApi, nullptr, "CURRENTUSERHANDLE intruder"));
    EXPECT_EQ(0, SendText(hwndApi, HWND_FAKE_SKYPE, "CURRENTUSERHANDLE early"));
    EXPECT_EQ(L"", m_client.GetCurrentUserHandle());

    EXPECT_EQ(1, Attach(ATTACH_SUCCESS));
    EXPECT_EQ(HWND_FAKE_SKYPE, m_client.GetSkypeWindow());
    EXPECT_EQ(0, SendText(hwndApi, reinterpret_cast<HWND>(0x7777), "CURRENTUSERHANDLE intruder"));
    EXPECT_EQ(0, SendText(hwndApi, nullptr, "CURRENTUSERHANDLE intruder"));
    EXPECT_EQ(L"", m_client.GetCurrentUserHandle());

    EXPECT_EQ(1, SendText(hwndApi, HWND_FAKE_SKYPE,
                          std::string("CURRENTUSERHANDLE j\xC3\xBCrgen\0junk", 28)));
    EXPECT_EQ(L"j\u00FCrgen", m_client.GetCurrentUserHandle());
    EXPECT_EQ(1, SendText(hwndApi, HWND_FAKE_SKYPE, "SKYPEVERSION 8.1"));  // no NUL sent
    EXPECT_EQ(L"8.1", m_client.GetSkypeVersion());
    EXPECT_EQ(1, SendText(hwndApi, HWND_FAKE_SKYPE, ""));
    EXPECT_EQ(1, SendText(hwndApi, HWND_FAKE_SKYPE, std::string("\0\0", 2)));
    EXPECT_EQ(1, SendText(hwndApi, HWND_FAKE_SKYPE, "SKYPEVERSION \xFF\xFE\x80"));  // not UTF-8
    COPYDATASTRUCT cds{0, 100, nullptr};
    EXPECT_EQ(1, ::SendMessageW(hwndApi, WM_COPYDATA, (WPARAM)HWND_FAKE_SKYPE, (LPARAM)&cds));
}

TEST_F(LinkTest, PongInAnyCaseOnlyMarksTheAnswer) {
    HWND hwndApi = m_client.GetApiWindow();
    Attach(ATTACH_SUCCESS);
    for (const char* psz : {"pong", "PONG", "Pong"}) {
        m_host.Advance(CSkypeClient::KEEPALIVE_PERIOD_MS);  // probes, clears the mark
        ASSERT_FALSE(m_client.IsPongSeen());
        EXPECT_EQ(1, SendText(hwndApi, HWND_FAKE_SKYPE, psz));
        EXPECT_TRUE(m_client.IsPongSeen()) << psz;
    }
    Tick();
    SendText(hwndApi, HWND_FAKE_SKYPE, "PONG ");  // parsed, and a one-word text there
    EXPECT_FALSE(m_client.IsPongSeen());
}

TEST_F(LinkTest, SenderDeliversUtf8WithItsNulInOrder) {
    Attach(ATTACH_SUCCESS);
    m_client.QueueCommand(L"get user j\u00FCrgen fullname");
    std::vector<std::string> sends = WaitForSends(m_host, 5);
    ASSERT_EQ(5u, sends.size());
    EXPECT_EQ(std::string("get currentuserhandle\0", 22), sends[0]);
    EXPECT_EQ(std::string("get connstatus\0", 15), sends[1]);
    EXPECT_EQ(std::string("get userstatus\0", 15), sends[2]);
    EXPECT_EQ(std::string("search friends\0", 15), sends[3]);
    EXPECT_EQ(std::string("get user j\xC3\xBCrgen fullname\0", 26), sends[4]);
    // 10 ms between commands, 500 ms polls of the empty queue.
    WaitFor([&] { return SleepsFromFirstSend(m_host).size() >= 6; });
    std::vector<DWORD> sleeps = SleepsFromFirstSend(m_host);
    ASSERT_GE(sleeps.size(), 6u);
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(10u, sleeps[i]);
    EXPECT_EQ(500u, sleeps[5]);
}

TEST_F(LinkTest, LongCommandsAreSentWhole) {
    Attach(ATTACH_SUCCESS);
    std::wstring strLong = L"get user " + std::wstring(3000, L'\u00E9') + L" fullname";
    m_client.QueueCommand(strLong);
    m_client.QueueCommand(L"ping");
    std::vector<std::string> sends = WaitForSends(m_host, 6);
    ASSERT_EQ(6u, sends.size());
    std::string strExpected = "get user ";
    for (int i = 0; i < 3000; ++i) strExpected += "\xC3\xA9";
    strExpected += " fullname";
    strExpected += '\0';
    EXPECT_EQ(strExpected, sends[4]);
    EXPECT_EQ(std::string("ping\0", 5), sends[5]);
}

TEST_F(LinkTest, FailedSendsAreRetriedFiveTimesThenDropped) {
    m_host.FailNextSends(3);
    Attach(ATTACH_SUCCESS);
    std::vector<std::string> sends = WaitForSends(m_host, 7);
    ASSERT_EQ(7u, sends.size());
    WaitFor([&] { return SleepsFromFirstSend(m_host).size() >= 4; });
    for (int i = 0; i < 4; ++i) EXPECT_EQ(std::string("get currentuserhandle\0", 22), sends[i]);
    EXPECT_EQ(std::string("get connstatus\0", 15), sends[4]);
    std::vector<DWORD> sleeps = SleepsFromFirstSend(m_host);
    ASSERT_GE(sleeps.size(), 4u);
    EXPECT_EQ((std::vector<DWORD>{50, 50, 50, 10}),
              std::vector<DWORD>(sleeps.begin(), sleeps.begin() + 4));

    WaitFor([&] { return m_host.Sleeps().size() >= 8; });
    m_host.FailNextSends(100);
    size_t nBefore = m_host.Sends().size();
    m_client.QueueCommand(L"get call 1 status");
    m_client.QueueCommand(L"get call 2 status");
    sends = WaitForSends(m_host, nBefore + 12);
    ASSERT_EQ(nBefore + 12, sends.size());
    for (size_t i = nBefore; i < nBefore + 6; ++i)
        EXPECT_EQ(std::string("get call 1 status\0", 18), sends[i]);
    for (size_t i = nBefore + 6; i < nBefore + 12; ++i)
        EXPECT_EQ(std::string("get call 2 status\0", 18), sends[i]);
}

TEST_F(LinkTest, LoggedOutClientTriesEachCommandSixTimesWithoutSending) {
    Attach(ATTACH_SUCCESS);
    WaitForSends(m_host, 4);
    m_client.ParseNotification(L"CONNSTATUS LOGGEDOUT");
    WaitFor([&] { return m_host.Sleeps().size() >= 6; });
    size_t nSleeps = m_host.Sleeps().size();
    EXPECT_TRUE(m_client.QueueCommand(L"ping"));  // still accepted by the queue
    WaitFor([&] { return m_client.GetQueue()->GetSize() == 0; });
    WaitFor([&] { return m_host.Sleeps().size() >= nSleeps + 6; });
    std::vector<DWORD> sleeps = m_host.Sleeps();
    EXPECT_EQ(4u, m_host.Sends().size());
    // Five 50 ms retries and the 10 ms pause, after whatever idle polls came first.
    size_t nPos = std::string::npos;
    for (size_t i = nSleeps; i + 6 <= sleeps.size(); ++i) {
        if (std::vector<DWORD>(sleeps.begin() + i, sleeps.begin() + i + 6) ==
            std::vector<DWORD>{50, 50, 50, 50, 50, 10}) {
            nPos = i;
        }
    }
    EXPECT_NE(std::string::npos, nPos);
}

TEST_F(LinkTest, AttachAnswersThroughTheWindow) {
    EXPECT_EQ(1, Attach(ATTACH_API_AVAILABLE));  // waiting: discover again
    EXPECT_EQ(2u, m_host.m_broadcasts.size());
    EXPECT_EQ(1, Attach(12345));  // unknown answers do nothing
    EXPECT_EQ(1, Attach(ATTACH_REFUSED));
    EXPECT_EQ(1u, m_host.CountEvents(WM_SKYPE_REFUSED));
    EXPECT_TRUE(m_client.IsStarted());
    EXPECT_FALSE(m_client.IsAttached());
    EXPECT_EQ(1, Attach(ATTACH_SUCCESS));
    EXPECT_TRUE(m_client.IsAttached());
    EXPECT_EQ(1u, m_host.CountEvents(WM_SKYPE_ATTACHED));
    EXPECT_EQ(1, Attach(ATTACH_API_AVAILABLE));  // attached: nothing
    EXPECT_EQ(2u, m_host.m_broadcasts.size());
    EXPECT_EQ(1, ::SendMessageW(m_client.GetApiWindow(), WM_NULL, 0, 0) + 1);  // default handling
}

TEST_F(KeepAliveTest, FirstAttachQueuesStartupAndTicksProbe) {
    Answer(ATTACH_API_AVAILABLE);  // not started: no broadcast
    EXPECT_TRUE(m_host.m_broadcasts.empty());
    Answer(ATTACH_SUCCESS);
    EXPECT_EQ(STARTUP, Queued());
    EXPECT_EQ(1u, m_host.CountEvents(WM_SKYPE_ATTACHED));
    UINT_PTR uTimer = m_client.GetKeepAliveTimer();
    ASSERT_NE(0u, uTimer);
    EXPECT_EQ(30000u, m_host.TimerElapse(uTimer));
    EXPECT_TRUE(m_client.IsPongSeen());

    m_host.Advance(29999);
    EXPECT_EQ(Commands{}, Queued());
    m_host.Advance(1);
    EXPECT_EQ((Commands{L"ping"}), Queued());
    Pong();
    Tick();
    EXPECT_EQ((Commands{L"ping"}), Queued());
    EXPECT_FALSE(m_client.IsRediscovering());
}

TEST_F(KeepAliveTest, AttachSuccessTwiceRunsStartupTwice) {
    Answer(ATTACH_SUCCESS);
    UINT_PTR uFirst = m_client.GetKeepAliveTimer();
    Answer(ATTACH_SUCCESS);
    EXPECT_EQ((Commands{STARTUP[0], STARTUP[1], STARTUP[2], STARTUP[3], STARTUP[0], STARTUP[1],
                        STARTUP[2], STARTUP[3]}),
              Queued());
    EXPECT_EQ(2u, m_host.CountEvents(WM_SKYPE_ATTACHED));
    EXPECT_FALSE(m_host.HasTimer(uFirst));  // restarted, not doubled
    EXPECT_EQ(1u, m_host.m_timers.size());
}

TEST_F(KeepAliveTest, OneMissThenSuccessIsNoNewAttach) {
    Answer(ATTACH_SUCCESS);
    Queued();
    Tick();  // probe
    Queued();
    Tick();  // no pong: re-discover
    EXPECT_TRUE(m_client.IsRediscovering());
    EXPECT_EQ(1, m_client.GetMissedPongs());
    EXPECT_EQ(Commands{}, Queued());
    Answer(ATTACH_SUCCESS);
    EXPECT_EQ(Commands{}, Queued());  // no start-up commands
    EXPECT_EQ(1u, m_host.CountEvents(WM_SKYPE_ATTACHED));
    EXPECT_FALSE(m_client.IsRediscovering());
    Tick();
    EXPECT_EQ((Commands{L"ping"}), Queued());
    Tick();  // the probe reset the count: this miss is the first again
    EXPECT_EQ(1, m_client.GetMissedPongs());
}

TEST_F(KeepAliveTest, FourSilentTicksDetachQuietlyThenDiscoverEveryPeriod) {
    ASSERT_TRUE(m_client.Start(HWND_FAKE_NOTIFY));  // broadcasts need a started client
    m_host.m_broadcasts.clear();
    Answer(ATTACH_SUCCESS);
    Tick();  // probe
    size_t nEvents = m_host.m_events.size();
    Tick();
    Tick();
    Tick();
    EXPECT_EQ(3u, m_host.m_broadcasts.size());
    EXPECT_TRUE(m_client.IsAttached());
    EXPECT_EQ(3, m_client.GetMissedPongs());
    Tick();  // the fourth: detached
    EXPECT_EQ(3u, m_host.m_broadcasts.size());
    EXPECT_FALSE(m_client.IsAttached());
    EXPECT_FALSE(m_client.IsRediscovering());
    EXPECT_EQ(0u, m_client.GetKeepAliveTimer());
    EXPECT_EQ(nEvents, m_host.m_events.size());  // silently
    EXPECT_FALSE(m_client.QueueCommand(L"get call 1 status"));
    // Detached: only the rediscover timer runs, one discover per period.
    UINT_PTR uRediscover = m_client.GetRediscoverTimer();
    ASSERT_NE(0u, uRediscover);
    EXPECT_EQ(1u, m_host.m_timers.size());
    EXPECT_EQ(30000u, m_host.TimerElapse(uRediscover));
    Tick();
    Tick();
    EXPECT_EQ(5u, m_host.m_broadcasts.size());
    Answer(ATTACH_SUCCESS);  // Skype is back without announcing itself
    EXPECT_TRUE(m_client.IsAttached());
    EXPECT_EQ(2u, m_host.CountEvents(WM_SKYPE_ATTACHED));
    EXPECT_FALSE(m_host.HasTimer(uRediscover));
    EXPECT_EQ(0u, m_client.GetRediscoverTimer());
    m_client.Stop();
    DrainThreadMessages();
}

TEST_F(KeepAliveTest, DetachedClientComesBackThroughApiAvailable) {
    Answer(ATTACH_SUCCESS);
    Queued();
    m_client.QueueCommand(L"get call 5 status");
    m_client.QueueCommand(L"get call 6 status");
    for (int i = 0; i < 5; ++i) Tick();  // probe, then four misses
    EXPECT_FALSE(m_client.IsAttached());
    EXPECT_FALSE(m_client.GetQueue()->IsEnabled());
    EXPECT_EQ(3u, m_client.GetQueue()->GetSize());  // two commands and the ping stay
    Answer(ATTACH_API_AVAILABLE);
    EXPECT_FALSE(m_client.IsRediscovering());
    Answer(ATTACH_SUCCESS);  // through OnAttached: waiting ones go first
    EXPECT_EQ((Commands{L"get call 5 status", L"get call 6 status", L"ping", STARTUP[0], STARTUP[1],
                        STARTUP[2], STARTUP[3]}),
              Queued());
    EXPECT_EQ(2u, m_host.CountEvents(WM_SKYPE_ATTACHED));
    EXPECT_NE(0u, m_client.GetKeepAliveTimer());
    EXPECT_EQ(0, m_client.GetMissedPongs());
}

TEST_F(KeepAliveTest, RefusedWhileAttachedKeepsTheTimerRunning) {
    Answer(ATTACH_SUCCESS);
    Queued();
    Answer(ATTACH_REFUSED);
    EXPECT_EQ(1u, m_host.CountEvents(WM_SKYPE_REFUSED));
    EXPECT_FALSE(m_client.IsAttached());
    EXPECT_NE(0u, m_client.GetKeepAliveTimer());
    Tick();  // its probe is refused by the disabled queue
    EXPECT_EQ(Commands{}, Queued());
    for (int i = 0; i < 4; ++i) Tick();
    EXPECT_EQ(0u, m_client.GetKeepAliveTimer());
    EXPECT_EQ(0u, m_client.GetRediscoverTimer());  // it said no: not asked every period
    // While refused, API_AVAILABLE answers (not started: nothing to broadcast).
    Answer(ATTACH_API_AVAILABLE);
    Answer(ATTACH_SUCCESS);
    EXPECT_EQ(STARTUP, Queued());
}

TEST_F(KeepAliveTest, SuccessAfterARefusalDuringRediscoveryAttachesAgain) {
    Answer(ATTACH_SUCCESS);
    Queued();
    Tick();  // probe, never answered
    Queued();
    Tick();  // re-discover
    ASSERT_TRUE(m_client.IsRediscovering());
    Answer(ATTACH_REFUSED);
    Answer(ATTACH_SUCCESS);  // the user allowed us after all
    EXPECT_TRUE(m_client.IsAttached());
    EXPECT_TRUE(m_client.GetQueue()->IsEnabled());
    EXPECT_EQ(STARTUP, Queued());
    EXPECT_EQ(2u, m_host.CountEvents(WM_SKYPE_ATTACHED));
    Tick();
    EXPECT_EQ((Commands{L"ping"}), Queued());
}

TEST_F(KeepAliveTest, SuccessAfterALogOutDuringRediscoveryAttachesAgain) {
    Answer(ATTACH_SUCCESS);
    Queued();
    m_client.ParseNotification(L"CONNSTATUS LOGGEDOUT");
    Tick();  // the probe cannot be sent
    Queued();
    Tick();
    ASSERT_TRUE(m_client.IsRediscovering());
    Answer(ATTACH_SUCCESS);  // logged in again and found by the keep-alive
    EXPECT_TRUE(m_client.IsAttached());
    EXPECT_EQ(STARTUP, Queued());
    EXPECT_EQ(2u, m_host.CountEvents(WM_SKYPE_ATTACHED));
}

TEST_F(KeepAliveTest, LoggedOutLeadsToRediscovery) {
    Answer(ATTACH_SUCCESS);
    Queued();
    m_client.ParseNotification(L"CONNSTATUS LOGGEDOUT");
    EXPECT_FALSE(m_client.IsAttached());
    EXPECT_NE(0u, m_client.GetKeepAliveTimer());
    Tick();
    EXPECT_EQ((Commands{L"ping"}), Queued());  // the queue is still on
    Tick();
    EXPECT_TRUE(m_client.IsRediscovering());
    Answer(ATTACH_API_AVAILABLE);  // not attached: clears re-discovery
    EXPECT_FALSE(m_client.IsRediscovering());
    Answer(ATTACH_SUCCESS);
    EXPECT_TRUE(m_client.IsAttached());
    EXPECT_EQ(STARTUP, Queued());
}

TEST_F(KeepAliveTest, DestructionKillsBothTimers) {
    auto* pHost = new CFakeSkypeHost();
    {
        CSkypeClient client(pHost);
        client.OnAttachMessage(HWND_FAKE_SKYPE, ATTACH_SUCCESS);
        client.ParseNotification(L"USER x ONLINESTATUS ONLINE");
        EXPECT_EQ(2u, pHost->m_timers.size());
    }
    EXPECT_TRUE(pHost->m_timers.empty());
    delete pHost;
}

TEST(SkypeClientInstanceTest, GetInstanceStartsOnceAndDestroyInstanceStops) {
    HWND hwndNotify = ::CreateWindowExW(0, L"STATIC", L"notify", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                        nullptr, nullptr, nullptr);
    ASSERT_TRUE(hwndNotify);
    CSkypeClient* p = CSkypeClient::GetInstance(hwndNotify);
    ASSERT_TRUE(p);
    EXPECT_TRUE(p->IsStarted());
    EXPECT_EQ(p, CSkypeClient::GetInstance(nullptr));
    EXPECT_EQ(hwndNotify, p->GetNotifyWindow());
    EXPECT_EQ(p->GetCallList(), CCallList::GetInstance());
    EXPECT_EQ(p->GetContacts(), CContactList::GetInstance());
    EXPECT_EQ(p->GetPartnerMap(), CCallPartnerMap::GetInstance());
    EXPECT_EQ(p->GetQueue(), CCommandQueue::GetInstance());
    HWND hwndApi = p->GetApiWindow();
    CSkypeClient::DestroyInstance();
    EXPECT_FALSE(::IsWindow(hwndApi));
    CSkypeClient::DestroyInstance();  // twice is harmless
    DrainThreadMessages();
    ::DestroyWindow(hwndNotify);
}
