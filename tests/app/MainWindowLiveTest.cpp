// The real main window, created in this process on the Wine prefix: the history
// window docked under it, following it, and the refusal box shown once at a time.
// Message boxes and web pages are recorded instead of shown.
#include <gtest/gtest.h>

#include <windows.h>

#include <cwchar>
#include <string>
#include <utility>
#include <vector>

#include "app/AppFolders.h"
#include "app/HelloWorldDlg.h"
#include "app/WebPage.h"
#include "audio/AudioServer.h"
#include "base/Com.h"
#include "base/Notifier.h"
#include "base/StringUtil.h"
#include "settings/GeneralProfile.h"
#include "skype/CallList.h"
#include "skype/SkypeEvents.h"
#include "skype/SkypeStatus.h"

namespace {
void Pump(DWORD dwMs) {
    DWORD dwEnd = ::GetTickCount() + dwMs;
    do {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::Sleep(5);
    } while (static_cast<LONG>(::GetTickCount() - dwEnd) < 0);
}

struct HistoryFind {
    HWND hMain;
    HWND hFound;
};

BOOL CALLBACK FindHistory(HWND hWnd, LPARAM lParam) {
    auto* pFind = reinterpret_cast<HistoryFind*>(lParam);
    wchar_t szTitle[64] = {};
    ::GetWindowTextW(hWnd, szTitle, 64);
    if (::GetWindow(hWnd, GW_OWNER) == pFind->hMain && wcsncmp(szTitle, L"history", 7) == 0) {
        pFind->hFound = hWnd;
        return FALSE;
    }
    return TRUE;
}

// Journals of running recordings beside record.xml.
int CountJournals() {
    WIN32_FIND_DATAW fd{};
    HANDLE hFind = ::FindFirstFileW((GetAppDataFolder() + L"recording-*.journal").c_str(), &fd);
    if (hFind == INVALID_HANDLE_VALUE) return 0;
    int n = 0;
    do ++n;
    while (::FindNextFileW(hFind, &fd));
    ::FindClose(hFind);
    return n;
}

RECT WindowRect(HWND hWnd) {
    RECT rc{};
    ::GetWindowRect(hWnd, &rc);
    return rc;
}

class MainWindowLive : public ::testing::Test {
protected:
    void SetUp() override {
        m_prevNotifier = SetNotifier([this](HWND, const std::wstring& strText, const std::wstring& strCaption, UINT) {
            m_boxes.push_back(strText);
            ++m_nBoxDepth;
            if (m_nBoxDepth > m_nMaxBoxDepth) m_nMaxBoxDepth = m_nBoxDepth;
            if (m_fnWhileBox) m_fnWhileBox();
            --m_nBoxDepth;
            (void)strCaption;
            return IDOK;
        });
        m_prevOpener = SetWebPageOpener([this](const std::wstring& strUrl) { m_pages.push_back(strUrl); });
        ASSERT_TRUE(m_dlg.Create(nullptr));
        Pump(300);
        HistoryFind find{m_dlg.m_hWnd, nullptr};
        ::EnumThreadWindows(::GetCurrentThreadId(), FindHistory, reinterpret_cast<LPARAM>(&find));
        m_hHistory = find.hFound;
        ASSERT_NE(nullptr, m_hHistory);
        // Boxes of the start-up (audio ports held by another program) are not ours.
        m_boxes.clear();
    }
    void TearDown() override {
        if (m_dlg.m_hWnd) ::DestroyWindow(m_dlg.m_hWnd);
        SetWebPageOpener(m_prevOpener);
        SetNotifier(m_prevNotifier);
    }
    // While the window settles at start-up its first position changes dock the
    // history window whatever they are; these let them pass.
    void LetStartUpDockingPass() {
        for (int i = 0; i < 10; ++i)
            ::SetWindowPos(m_dlg.m_hWnd, nullptr, 0, 0, 0, 0,
                           SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    }
    // Where a window manager (not the window's own move loop) puts the main window.
    void MoveMainTo(int x, int y) {
        ::SetWindowPos(m_dlg.m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        Pump(50);
    }
    void ExpectDocked(const char* pszWhen) {
        RECT rcMain = WindowRect(m_dlg.m_hWnd), rcHistory = WindowRect(m_hHistory);
        EXPECT_EQ(rcMain.left, rcHistory.left) << pszWhen;
        EXPECT_EQ(rcMain.bottom, rcHistory.top) << pszWhen;
    }

    CComInit m_com;
    CHelloWorldDlg m_dlg;
    HWND m_hHistory = nullptr;
    NotifierFn m_prevNotifier;
    WebPageOpenerFn m_prevOpener;
    std::vector<std::wstring> m_boxes, m_pages;
    int m_nBoxDepth = 0, m_nMaxBoxDepth = 0;
    std::function<void()> m_fnWhileBox;
};
}  // namespace

TEST_F(MainWindowLive, HistoryWindowStartsDockedAndHidden) {
    EXPECT_TRUE(::IsWindowVisible(m_dlg.m_hWnd));
    EXPECT_FALSE(::IsWindowVisible(m_hHistory));
    ExpectDocked("after start-up");
    // The history button shows it where it is, docked, and hides it again.
    m_dlg.SendMessage(WM_COMMAND, MAKEWPARAM(1011, BN_CLICKED), 0);
    EXPECT_TRUE(::IsWindowVisible(m_hHistory));
    ExpectDocked("shown by the history button");
    m_dlg.SendMessage(WM_COMMAND, MAKEWPARAM(1011, BN_CLICKED), 0);
    EXPECT_FALSE(::IsWindowVisible(m_hHistory));
}

TEST_F(MainWindowLive, DraggingSidewaysTakesTheHistoryWindowAlongVerticallyNot) {
    RECT rcMain = WindowRect(m_dlg.m_hWnd);
    const int cx = rcMain.right - rcMain.left, cy = rcMain.bottom - rcMain.top;
    RECT rcHistory0 = WindowRect(m_hHistory);

    // The move loop announces the rectangle before it moves the window there.
    RECT rcProposed{rcMain.left + 40, rcMain.top + 7, rcMain.left + 40 + cx, rcMain.top + 7 + cy};
    m_dlg.SendMessage(WM_MOVING, WMSZ_LEFT, reinterpret_cast<LPARAM>(&rcProposed));
    RECT rcHistory = WindowRect(m_hHistory);
    EXPECT_EQ(rcProposed.left, rcHistory.left);
    EXPECT_EQ(rcProposed.bottom, rcHistory.top);
    EXPECT_EQ(rcHistory0.right - rcHistory0.left, rcHistory.right - rcHistory.left) << "size kept";
    EXPECT_EQ(rcHistory0.bottom - rcHistory0.top, rcHistory.bottom - rcHistory.top) << "size kept";
    MoveMainTo(rcProposed.left, rcProposed.top);
    ExpectDocked("after the drag");

    // Only vertically: the left edges agree, the history window stays.
    LetStartUpDockingPass();
    RECT rcBefore = WindowRect(m_hHistory);
    RECT rcDown{rcProposed.left, rcProposed.top + 30, rcProposed.right, rcProposed.bottom + 30};
    m_dlg.SendMessage(WM_MOVING, WMSZ_TOP, reinterpret_cast<LPARAM>(&rcDown));
    MoveMainTo(rcDown.left, rcDown.top);
    RECT rcAfter = WindowRect(m_hHistory);
    EXPECT_EQ(rcBefore.left, rcAfter.left);
    EXPECT_EQ(rcBefore.top, rcAfter.top);
}

TEST_F(MainWindowLive, MoveWithoutTheMoveLoopTakesTheHistoryWindowAlong) {
    // A window manager moves the window itself: no WM_MOVING arrives.
    LetStartUpDockingPass();
    RECT rcMain = WindowRect(m_dlg.m_hWnd);
    MoveMainTo(rcMain.left + 55, rcMain.top + 20);
    ExpectDocked("after a sideways move");
    m_dlg.SendMessage(WM_COMMAND, MAKEWPARAM(1011, BN_CLICKED), 0);
    ExpectDocked("shown after the move");
    // The close button hides both; the tray click brings the main window back.
    m_dlg.SendMessage(WM_COMMAND, MAKEWPARAM(1000, BN_CLICKED), 0);
    EXPECT_FALSE(::IsWindowVisible(m_dlg.m_hWnd));
    EXPECT_FALSE(::IsWindowVisible(m_hHistory));
    m_dlg.SendMessage(WM_TRAY_NOTIFY, 2, WM_LBUTTONUP);  // not our icon
    EXPECT_FALSE(::IsWindowVisible(m_dlg.m_hWnd));
    m_dlg.SendMessage(WM_TRAY_NOTIFY, 1, WM_LBUTTONUP);
    EXPECT_TRUE(::IsWindowVisible(m_dlg.m_hWnd));
}

TEST_F(MainWindowLive, RefusalsWhileTheBoxIsUpShowNoSecondBox) {
    // Skype answering again and again while the first box waits for the user.
    m_fnWhileBox = [this] {
        for (int i = 0; i < 5; ++i) m_dlg.SendMessage(WM_SKYPE_REFUSED, 0, 0);
    };
    m_dlg.SendMessage(WM_SKYPE_REFUSED, 0, 0);
    EXPECT_EQ(1, m_nMaxBoxDepth);
    ASSERT_EQ(1u, m_boxes.size());
    EXPECT_EQ(GetRefusedMessage(), m_boxes[0]);
    ASSERT_EQ(1u, m_pages.size());
    EXPECT_EQ(GetIssuePageUrl(), m_pages[0]);
    // Once it is closed, the next refusal is told again.
    m_fnWhileBox = nullptr;
    m_dlg.SendMessage(WM_SKYPE_REFUSED, 0, 0);
    EXPECT_EQ(2u, m_boxes.size());
    EXPECT_EQ(2u, m_pages.size());
    // The user label keeps searching.
    wchar_t szUser[64] = {};
    ::GetDlgItemTextW(m_dlg.m_hWnd, 1008, szUser, 64);
    EXPECT_STREQ(L"Searching for Skype", szUser);
}

TEST_F(MainWindowLive, ControlsActOnClicksOnly) {
    // A double click on the user label: one click, then the double-click notice.
    HWND hUser = ::GetDlgItem(m_dlg.m_hWnd, 1008);
    ASSERT_NE(nullptr, hUser);
    const LPARAM pt = MAKELPARAM(4, 4);
    for (UINT uMsg : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP})
        ::SendMessageW(hUser, uMsg, uMsg == WM_LBUTTONUP ? 0 : MK_LBUTTON, pt);
    Pump(50);
    ASSERT_EQ(1u, m_pages.size());
    EXPECT_EQ(GetIssuePageUrl(), m_pages[0]);
    // Other notices of a button (focus, double click) do not count as clicks.
    HWND hHistoryBtn = ::GetDlgItem(m_dlg.m_hWnd, 1011);
    for (UINT uCode : {BN_SETFOCUS, BN_DOUBLECLICKED, BN_KILLFOCUS})
        m_dlg.SendMessage(WM_COMMAND, MAKEWPARAM(1011, uCode), reinterpret_cast<LPARAM>(hHistoryBtn));
    EXPECT_FALSE(::IsWindowVisible(m_hHistory));
}

TEST_F(MainWindowLive, NewTaskbarGetsTheTrayIconAgain) {
    // Explorer's taskbar as Shell_NotifyIconW reaches it: a WM_COPYDATA to "Shell_TrayWnd".
    static std::vector<std::pair<WPARAM, ULONG_PTR>> s_calls;
    s_calls.clear();
    WNDCLASSW wc{};
    wc.lpfnWndProc = [](HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) -> LRESULT {
        if (uMsg != WM_COPYDATA) return ::DefWindowProcW(hWnd, uMsg, wParam, lParam);
        s_calls.emplace_back(wParam, reinterpret_cast<COPYDATASTRUCT*>(lParam)->dwData);
        return TRUE;
    };
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"Shell_TrayWnd";
    ASSERT_TRUE(::RegisterClassW(&wc));
    HWND hTray = ::CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                   wc.hInstance, nullptr);
    ASSERT_TRUE(hTray);
    ::SendMessageW(m_dlg.m_hWnd, ::RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    ::DestroyWindow(hTray);
    ::UnregisterClassW(wc.lpszClassName, wc.hInstance);
    ASSERT_EQ(1u, s_calls.size());
    EXPECT_EQ(reinterpret_cast<WPARAM>(m_dlg.m_hWnd), s_calls[0].first);
    EXPECT_EQ(static_cast<ULONG_PTR>(NIM_ADD), s_calls[0].second);
}

TEST_F(MainWindowLive, StartFailureShowsOneBoxWritesNoJournalAndLeavesTheWindowReady) {
    CGeneralProfile* pProfile = CGeneralProfile::GetInstance();
    const std::wstring strFolder = pProfile->m_strFolder;
    const int nType = pProfile->m_nRecordType;
    // A folder so deep that no recording's name fits.
    pProfile->m_strFolder = L"C:\\" + std::wstring(520, L'x');
    pProfile->m_nRecordType = 1;
    const int nJournals = CountJournals();
    const int nSlot = CCallList::GetInstance()->SetStatus(L"4711", CALL_STATUS_INPROGRESS);
    m_dlg.SendMessage(WM_SKYPE_CALL, nSlot, SKYPE_CALL_STATUS);
    Pump(100);
    pProfile->m_strFolder = strFolder;
    pProfile->m_nRecordType = nType;

    ASSERT_EQ(1u, m_boxes.size());
    const std::wstring strReason = SystemErrorText(ERROR_FILENAME_EXCED_RANGE);
    ASSERT_FALSE(strReason.empty());
    EXPECT_NE(std::wstring::npos, m_boxes[0].find(strReason)) << m_boxes[0];
    EXPECT_EQ(nJournals, CountJournals());
    const int nState = CAudioServer::GetInstance()->GetRecordState();
    EXPECT_TRUE(nState == RECSTATE_IDLE || nState == RECSTATE_STOPPED) << nState;
    wchar_t szStatus[64] = {};
    ::GetDlgItemTextW(m_dlg.m_hWnd, 1009, szStatus, 64);
    EXPECT_STREQ(L"Ready for recording ...", szStatus);
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(m_dlg.m_hWnd, 1001)));
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(m_dlg.m_hWnd, 1002)));
}
