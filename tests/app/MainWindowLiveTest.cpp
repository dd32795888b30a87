// The real main window, created in this process on the Wine prefix: the history
// window docked under it, following it, and the refusal box shown once at a time.
// Message boxes and web pages are recorded instead of shown.
#include <gtest/gtest.h>

#include <windows.h>
#include <oleacc.h>

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
#include "settings/DlgOptions.h"
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

// What a screen reader reads for a window: its client object's name.
std::wstring AccessibleName(HWND hWnd) {
    IAccessible* pAcc = nullptr;
    // The import library's IID_IAccessible symbol is not the interface's id here.
    HRESULT hr = ::AccessibleObjectFromWindow(hWnd, OBJID_CLIENT, __uuidof(IAccessible), reinterpret_cast<void**>(&pAcc));
    if (FAILED(hr)) {
        ADD_FAILURE() << "no accessible object: " << std::hex << hr;
        return L"";
    }
    VARIANT self;
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR bstr = nullptr;
    std::wstring strName;
    if (SUCCEEDED(pAcc->get_accName(self, &bstr)) && bstr) strName = bstr;
    ::SysFreeString(bstr);
    pAcc->Release();
    return strName;
}

// Every descendant of a window with its accessible name, in z-order.
std::vector<std::pair<HWND, std::wstring>> AccessibleNames(HWND hParent) {
    std::vector<std::pair<HWND, std::wstring>> names;
    ::EnumChildWindows(
        hParent,
        [](HWND hWnd, LPARAM lParam) -> BOOL {
            reinterpret_cast<std::vector<std::pair<HWND, std::wstring>>*>(lParam)->emplace_back(hWnd,
                                                                                                AccessibleName(hWnd));
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&names));
    return names;
}

std::wstring ClassOf(HWND hWnd) {
    wchar_t sz[64] = {};
    ::GetClassNameW(hWnd, sz, 64);
    return sz;
}

// Messages as the main window's dialog loop runs them: keys through the dialog manager.
void PumpDialog(HWND hDlg, DWORD dwMs) {
    DWORD dwEnd = ::GetTickCount() + dwMs;
    do {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (::IsDialogMessageW(hDlg, &msg)) continue;
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::Sleep(5);
    } while (static_cast<LONG>(::GetTickCount() - dwEnd) < 0);
}

// A key pressed and released on the keyboard of the window with the focus.
void PressKey(HWND hDlg, WORD wKey) {
    INPUT in[2] = {};
    for (INPUT& i : in) {
        i.type = INPUT_KEYBOARD;
        i.ki.wVk = wKey;
    }
    in[1].ki.dwFlags = KEYEVENTF_KEYUP;
    ::SendInput(2, in, sizeof(INPUT));
    PumpDialog(hDlg, 60);
}

// A window's picture as it paints it, pixel by pixel.
std::vector<DWORD> Picture(HWND hWnd) {
    RECT rc{};
    ::GetClientRect(hWnd, &rc);
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), rc.right, -rc.bottom, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* pBits = nullptr;
    HDC hScreen = ::GetDC(nullptr);
    HBITMAP hBmp = ::CreateDIBSection(hScreen, &bi, DIB_RGB_COLORS, &pBits, nullptr, 0);
    HDC hMem = ::CreateCompatibleDC(hScreen);
    HGDIOBJ hOld = ::SelectObject(hMem, hBmp);
    ::PrintWindow(hWnd, hMem, PW_CLIENTONLY);
    ::GdiFlush();
    std::vector<DWORD> px(static_cast<const DWORD*>(pBits), static_cast<const DWORD*>(pBits) + rc.right * rc.bottom);
    ::SelectObject(hMem, hOld);
    ::DeleteDC(hMem);
    ::DeleteObject(hBmp);
    ::ReleaseDC(nullptr, hScreen);
    return px;
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

TEST_F(MainWindowLive, EveryControlOfTheMainHistoryAndOptionsWindowsHasAName) {
    CDlgOptions options;
    ASSERT_TRUE(options.Create(nullptr));
    size_t nControls = 0;
    for (HWND hWindow : {m_dlg.m_hWnd, m_hHistory, options.m_hWnd}) {
        auto names = AccessibleNames(hWindow);
        nControls += names.size();
        for (const auto& [hWnd, strName] : names) {
            // Fields are named by their labels or cue banners, as on Windows; hidden ones are not read.
            const LONG lStyle = ::GetWindowLongW(hWnd, GWL_STYLE);
            const bool bField = ClassOf(hWnd) == L"Edit" || (ClassOf(hWnd) == L"ComboBox" && (lStyle & 3) == CBS_DROPDOWN);
            if (bField || !(lStyle & WS_VISIBLE)) continue;
            EXPECT_FALSE(strName.empty()) << "control " << ::GetDlgCtrlID(hWnd) << " of class "
                                          << WideToUtf8(ClassOf(hWnd)) << " in " << WideToUtf8(AccessibleName(hWindow));
        }
    }
    EXPECT_GT(nControls, 40u);
    options.DestroyWindow();
    // The record button is named by its face; a meter by its level, in steps of 10 %.
    EXPECT_EQ(L"Start Recording", AccessibleName(::GetDlgItem(m_dlg.m_hWnd, 1001)));
    HWND hMicLevel = ::GetDlgItem(m_dlg.m_hWnd, 1005);
    EXPECT_EQ(L"Microphone level 0 %", AccessibleName(hMicLevel));
    m_dlg.SendMessage(WM_MIC_LEVEL, 230, 0);  // of 512
    EXPECT_EQ(L"Microphone level 40 %", AccessibleName(hMicLevel));
    m_dlg.SendMessage(WM_MIC_LEVEL, 600, 0);
    EXPECT_EQ(L"Microphone level 100 %", AccessibleName(hMicLevel));
}

TEST_F(MainWindowLive, TabMovesThroughTheButtonsAndSpaceAndEnterPressThem) {
    HWND hMain = m_dlg.m_hWnd;
    ::SetForegroundWindow(hMain);
    HWND hHistoryBtn = ::GetDlgItem(hMain, 1011);
    ::SetFocus(hHistoryBtn);
    PumpDialog(hMain, 50);
    ASSERT_EQ(hHistoryBtn, ::GetFocus());
    // Record and pause are off without Skype; Close comes last.
    std::vector<int> order;
    for (int i = 0; i < 6; ++i) {
        PressKey(hMain, VK_TAB);
        order.push_back(::GetDlgCtrlID(::GetFocus()));
    }
    EXPECT_EQ((std::vector<int>{1012, 1013, 1059, 1000, 1011, 1012}), order);
    // The keyboard was used: the focus rectangle shows, one pixel inside the edge, and
    // the button's name is nowhere on its face.
    HWND hOptions = ::GetFocus();
    EXPECT_EQ(0, ::SendMessageW(hOptions, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS);
    std::vector<DWORD> focused = Picture(hOptions);
    ::SetWindowTextW(hOptions, L"WWWWWWWW");
    EXPECT_EQ(focused, Picture(hOptions));
    ::SetWindowTextW(hOptions, L"Options");
    PressKey(hMain, VK_TAB);
    std::vector<DWORD> unfocused = Picture(hOptions);
    RECT rc{};
    ::GetClientRect(hOptions, &rc);
    ASSERT_EQ(focused.size(), unfocused.size());
    int nRing = 0, nInside = 0;
    for (int y = 0; y < rc.bottom; ++y)
        for (int x = 0; x < rc.right; ++x) {
            if (focused[y * rc.right + x] == unfocused[y * rc.right + x]) continue;
            const bool bOnRing = (x == 1 || x == rc.right - 2 || y == 1 || y == rc.bottom - 2);
            ++(bOnRing ? nRing : nInside);
        }
    EXPECT_GT(nRing, 20);
    EXPECT_EQ(0, nInside);
    ::SetFocus(hOptions);
    PressKey(hMain, VK_TAB);
    PressKey(hMain, VK_TAB);
    ASSERT_EQ(1059, ::GetDlgCtrlID(::GetFocus()));  // Donate
    PressKey(hMain, VK_RETURN);
    PressKey(hMain, VK_SPACE);
    ASSERT_EQ(2u, m_pages.size());
    EXPECT_EQ(GetDonationPageUrl(), m_pages[0]);
    EXPECT_EQ(GetDonationPageUrl(), m_pages[1]);
    EXPECT_TRUE(::IsWindow(hMain));  // Enter did not end the dialog
    // Back to History: Space shows the history window, Enter hides it.
    ::SetFocus(hHistoryBtn);
    PressKey(hMain, VK_SPACE);
    EXPECT_TRUE(::IsWindowVisible(m_hHistory));
    // The main window's loop hands the history window's keys to its own dialog manager.
    ::SetForegroundWindow(m_hHistory);
    HWND hTree = ::GetDlgItem(m_hHistory, 1015);
    ::SetFocus(hTree);
    PressKey(hMain, VK_TAB);
    EXPECT_NE(hTree, ::GetFocus());
    EXPECT_TRUE(::IsChild(m_hHistory, ::GetFocus()));
    ::SetForegroundWindow(hMain);
    ::SetFocus(hHistoryBtn);
    PressKey(hMain, VK_RETURN);
    EXPECT_FALSE(::IsWindowVisible(m_hHistory));
}
