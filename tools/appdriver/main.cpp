// appdriver: finds the recorder's main window and talks to its controls the way a
// user's clicks would reach them. One command per run; prints results on stdout.
//   appdriver wait-main SECS            exit 0 once the main window is up and visible
//   appdriver count-main                number of main windows
//   appdriver click ID                  BM_CLICK on control ID of the main window
//   appdriver text ID                   the control's text (WM_GETTEXT)
//   appdriver wait-text ID SECS TEXT    exit 0 once the control shows TEXT
//   appdriver visible [ID]              1/0: the main window (or its control) is visible
//   appdriver enabled ID                1/0
//   appdriver rect                      left top right bottom of the main window
//   appdriver history                   visible(1/0) left top right bottom of the history window
//   appdriver move X Y                  moves the main window (as dragging would)
//   appdriver command ID                posts WM_COMMAND ID to the main window
//   appdriver tray WPARAM LPARAM        posts the tray callback message
//   appdriver box CAPTION SECS          waits for a message box, prints its text, presses OK
//   appdriver control-rect ID           the control's rectangle on the screen
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {
constexpr wchar_t MAIN_TITLE[] = L"Ombra Skype Recorder";
constexpr int ID_RECORD_BUTTON = 1001;
constexpr UINT WM_TRAY_NOTIFY = WM_USER + 0x101;

struct FindData {
    HWND hFound = nullptr;
    int nCount = 0;
};

BOOL CALLBACK FindMain(HWND hWnd, LPARAM lParam) {
    auto* pData = reinterpret_cast<FindData*>(lParam);
    wchar_t szClass[64] = {}, szTitle[128] = {};
    ::GetClassNameW(hWnd, szClass, 64);
    ::GetWindowTextW(hWnd, szTitle, 128);
    // Message boxes share the caption; only the main window has the record button.
    if (wcscmp(szClass, L"#32770") == 0 && wcscmp(szTitle, MAIN_TITLE) == 0 &&
        ::GetDlgItem(hWnd, ID_RECORD_BUTTON)) {
        if (!pData->hFound) pData->hFound = hWnd;
        ++pData->nCount;
    }
    return TRUE;
}

HWND FindMainWindow(int* pnCount = nullptr) {
    FindData data;
    ::EnumWindows(FindMain, reinterpret_cast<LPARAM>(&data));
    if (pnCount) *pnCount = data.nCount;
    return data.hFound;
}

struct HistoryFind {
    HWND hMain;
    HWND hFound = nullptr;
};

BOOL CALLBACK FindHistory(HWND hWnd, LPARAM lParam) {
    auto* pData = reinterpret_cast<HistoryFind*>(lParam);
    wchar_t szTitle[128] = {};
    ::GetWindowTextW(hWnd, szTitle, 128);
    if (wcsncmp(szTitle, L"history", 7) == 0 && ::GetWindow(hWnd, GW_OWNER) == pData->hMain) {
        pData->hFound = hWnd;
        return FALSE;
    }
    return TRUE;
}

std::wstring GetText(HWND hWnd) {
    wchar_t szText[1024] = {};
    DWORD_PTR nResult = 0;
    ::SendMessageTimeoutW(hWnd, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(szText), SMTO_ABORTIFHUNG, 5000,
                          &nResult);
    return szText;
}

void PrintUtf8(const std::wstring& str) {
    int n = ::WideCharToMultiByte(CP_UTF8, 0, str.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string s(n > 0 ? n - 1 : 0, '\0');
    if (n > 1) ::WideCharToMultiByte(CP_UTF8, 0, str.c_str(), -1, s.data(), n, nullptr, nullptr);
    std::printf("%s\n", s.c_str());
}

HWND RequireMain() {
    HWND hMain = FindMainWindow();
    if (!hMain) std::fprintf(stderr, "appdriver: no main window\n");
    return hMain;
}

HWND RequireControl(HWND hMain, const wchar_t* pszId) {
    HWND hCtl = ::GetDlgItem(hMain, _wtoi(pszId));
    if (!hCtl) std::fprintf(stderr, "appdriver: no control %ls\n", pszId);
    return hCtl;
}

struct BoxFind {
    const wchar_t* pszCaption;
    HWND hFound = nullptr;
};

BOOL CALLBACK FindBox(HWND hWnd, LPARAM lParam) {
    auto* pData = reinterpret_cast<BoxFind*>(lParam);
    wchar_t szClass[64] = {}, szTitle[256] = {};
    ::GetClassNameW(hWnd, szClass, 64);
    ::GetWindowTextW(hWnd, szTitle, 256);
    if (wcscmp(szClass, L"#32770") == 0 && wcscmp(szTitle, pData->pszCaption) == 0 &&
        !::GetDlgItem(hWnd, ID_RECORD_BUTTON)) {
        pData->hFound = hWnd;
        return FALSE;
    }
    return TRUE;
}

int Usage() {
    std::fprintf(stderr, "usage: appdriver COMMAND [ARGS]\n");
    return 2;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return Usage();
    std::wstring strCmd = argv[1];

    if (strCmd == L"wait-main" && argc >= 3) {
        DWORD dwEnd = ::GetTickCount() + static_cast<DWORD>(_wtof(argv[2]) * 1000);
        // Visible only once its initialisation (Skype client included) is complete.
        for (;;) {
            HWND hMain = FindMainWindow();
            if (hMain && ::IsWindowVisible(hMain)) break;
            if (static_cast<LONG>(::GetTickCount() - dwEnd) > 0) return 1;
            ::Sleep(100);
        }
        return 0;
    }
    if (strCmd == L"count-main") {
        int nCount = 0;
        FindMainWindow(&nCount);
        std::printf("%d\n", nCount);
        return 0;
    }
    if (strCmd == L"box" && argc >= 4) {
        BoxFind find{argv[2]};
        DWORD dwEnd = ::GetTickCount() + static_cast<DWORD>(_wtof(argv[3]) * 1000);
        for (;;) {
            find.hFound = nullptr;
            ::EnumWindows(FindBox, reinterpret_cast<LPARAM>(&find));
            if (find.hFound) break;
            if (static_cast<LONG>(::GetTickCount() - dwEnd) > 0) return 1;
            ::Sleep(100);
        }
        // A message box keeps its text in the static control 0xFFFF.
        HWND hText = ::GetDlgItem(find.hFound, 0xFFFF);
        PrintUtf8(hText ? GetText(hText) : std::wstring());
        ::PostMessageW(find.hFound, WM_COMMAND, IDOK, 0);
        return 0;
    }

    HWND hMain = RequireMain();
    if (!hMain) return 1;

    if (strCmd == L"click" && argc >= 3) {
        HWND hCtl = RequireControl(hMain, argv[2]);
        if (!hCtl) return 1;
        DWORD_PTR nResult = 0;
        // A click that opens a modal window returns only when it closes: do not wait for ever.
        ::SendMessageTimeoutW(hCtl, BM_CLICK, 0, 0, SMTO_NORMAL, 3000, &nResult);
        return 0;
    }
    if (strCmd == L"text" && argc >= 3) {
        HWND hCtl = RequireControl(hMain, argv[2]);
        if (!hCtl) return 1;
        PrintUtf8(GetText(hCtl));
        return 0;
    }
    if (strCmd == L"wait-text" && argc >= 5) {
        HWND hCtl = RequireControl(hMain, argv[2]);
        if (!hCtl) return 1;
        DWORD dwEnd = ::GetTickCount() + static_cast<DWORD>(_wtof(argv[3]) * 1000);
        while (GetText(hCtl) != argv[4]) {
            if (static_cast<LONG>(::GetTickCount() - dwEnd) > 0) {
                PrintUtf8(GetText(hCtl));
                return 1;
            }
            ::Sleep(50);
        }
        return 0;
    }
    if (strCmd == L"visible") {
        HWND hWnd = argc >= 3 ? RequireControl(hMain, argv[2]) : hMain;
        if (!hWnd) return 1;
        std::printf("%d\n", ::IsWindowVisible(hWnd) ? 1 : 0);
        return 0;
    }
    if (strCmd == L"enabled" && argc >= 3) {
        HWND hCtl = RequireControl(hMain, argv[2]);
        if (!hCtl) return 1;
        std::printf("%d\n", ::IsWindowEnabled(hCtl) ? 1 : 0);
        return 0;
    }
    if (strCmd == L"rect" || strCmd == L"control-rect") {
        HWND hWnd = hMain;
        if (strCmd == L"control-rect") {
            if (argc < 3 || !(hWnd = RequireControl(hMain, argv[2]))) return 1;
        }
        RECT rc{};
        ::GetWindowRect(hWnd, &rc);
        std::printf("%ld %ld %ld %ld\n", rc.left, rc.top, rc.right, rc.bottom);
        return 0;
    }
    if (strCmd == L"history") {
        HistoryFind find{hMain};
        ::EnumWindows(FindHistory, reinterpret_cast<LPARAM>(&find));
        if (!find.hFound) {
            std::fprintf(stderr, "appdriver: no history window\n");
            return 1;
        }
        RECT rc{};
        ::GetWindowRect(find.hFound, &rc);
        std::printf("%d %ld %ld %ld %ld\n", ::IsWindowVisible(find.hFound) ? 1 : 0, rc.left, rc.top, rc.right,
                    rc.bottom);
        return 0;
    }
    if (strCmd == L"move" && argc >= 4) {
        // As a drag does: the window is told it is moving, then moved.
        RECT rc{};
        ::GetWindowRect(hMain, &rc);
        RECT rcNew{_wtoi(argv[2]), _wtoi(argv[3]), 0, 0};
        rcNew.right = rcNew.left + rc.right - rc.left;
        rcNew.bottom = rcNew.top + rc.bottom - rc.top;
        DWORD_PTR nResult = 0;
        ::SendMessageTimeoutW(hMain, WM_MOVING, WMSZ_LEFT, reinterpret_cast<LPARAM>(&rcNew), SMTO_NORMAL, 3000,
                              &nResult);
        ::SetWindowPos(hMain, nullptr, rcNew.left, rcNew.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    if (strCmd == L"command" && argc >= 3) {
        ::PostMessageW(hMain, WM_COMMAND, static_cast<WPARAM>(_wtoi(argv[2])), 0);
        return 0;
    }
    if (strCmd == L"tray" && argc >= 4) {
        ::PostMessageW(hMain, WM_TRAY_NOTIFY, static_cast<WPARAM>(_wtoi(argv[2])), static_cast<LPARAM>(_wtoi(argv[3])));
        return 0;
    }
    return Usage();
}
