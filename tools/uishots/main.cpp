// uishots: shows one window of the program for a screenshot, writes its screen
// rectangle to a file once it is painted, and closes it after a while.
//   uishots.exe options PAGE RECTFILE [SECONDS]   PAGE 0 General, 1 Call Recording, 2 MP3 Quality, 3 Rules
//   uishots.exe options-click PAGE RECTFILE [SECONDS]  opens on General, then clicks tab PAGE
//                                                       with the real mouse (input through X)
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

#include "base/Com.h"
#include "settings/DlgOptions.h"

namespace {

void WriteRect(const wchar_t* pszFile, HWND hWnd) {
    RECT rc{};
    ::GetWindowRect(hWnd, &rc);
    FILE* f = _wfopen(pszFile, L"w");
    if (!f) return;
    fprintf(f, "%ld %ld %ld %ld\n", rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
    fclose(f);
}

void PumpFor(HWND hWnd, DWORD dwMs) {
    DWORD dwStart = ::GetTickCount();
    MSG msg;
    while (::GetTickCount() - dwStart < dwMs) {
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (!::IsDialogMessageW(hWnd, &msg)) {
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            }
        }
        ::Sleep(10);
    }
}

// A left click at a screen point, as the user's mouse would give it.
void ClickAt(POINT pt) {
    ::SetCursorPos(pt.x, pt.y);
    INPUT in[2] = {};
    in[0].type = in[1].type = INPUT_MOUSE;
    in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    ::SendInput(2, in, sizeof(INPUT));
}

// Pumps messages for the given time; the rectangle is written after the first
// second, when everything has painted.
void Pump(HWND hWnd, const wchar_t* pszRectFile, DWORD dwMs) {
    DWORD dwStart = ::GetTickCount();
    bool bWritten = false;
    MSG msg;
    while (::GetTickCount() - dwStart < dwMs) {
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (!::IsDialogMessageW(hWnd, &msg)) {
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            }
        }
        if (!bWritten && ::GetTickCount() - dwStart > 1000) {
            WriteRect(pszRectFile, hWnd);
            bWritten = true;
        }
        ::Sleep(10);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (!argv || argc < 4) return 2;
    std::wstring strWhat = argv[1];
    DWORD dwMs = argc > 4 ? (DWORD)_wtoi(argv[4]) * 1000 : 6000;
    CComInit com;
    if (strWhat == L"options" || strWhat == L"options-click") {
        CGeneralProfile::GetInstance()->Load();
        CDlgOptions dlg;
        if (!dlg.Create(nullptr)) return 1;
        int nPage = _wtoi(argv[2]);
        dlg.SelectPage(strWhat == L"options" ? nPage : OPTIONS_PAGE_GENERAL);
        dlg.SetWindowPos(HWND_TOP, 24, 24, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
        ::SetForegroundWindow(dlg);
        if (strWhat == L"options-click") {
            PumpFor(dlg, 800);
            RECT rc = dlg.m_tab.GetItemRect(nPage);
            POINT pt{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
            ::ClientToScreen(dlg.m_tab, &pt);
            ClickAt(pt);
            // Off the tab again, so no hover state is in the picture.
            PumpFor(dlg, 300);
            ::SetCursorPos(0, 0);
        }
        Pump(dlg, argv[3], dwMs);
        CGeneralProfile::DestroyInstance();
        return 0;
    }
    return 2;
}
