// uidriver: drives the recorder's main window from another process, the way a
// user (or the end-to-end tests) would, and reports what the window shows.
//
//   uidriver.exe [--out FILE] VERB ARGS...   (uidriver.exe alone lists the verbs)
//
// The main window is the dialog (class "#32770") titled "Ombra Skype Recorder"
// that owns a record button (control 1001); a message box with the same caption
// has no such control. Every verb prints its result on standard output and, with
// --out, into FILE as well (Wine programs are read through files, not pipes).
// Exit codes: 0 done, 1 condition not met in time, 2 bad usage, 3 window or
// control not found (or, for click, not clickable).
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

const wchar_t UID_MAIN_TITLE[] = L"Ombra Skype Recorder";
const int UID_RECORD_BUTTON = 1001;
const DWORD UID_POLL_MS = 20;
const UINT UID_SEND_TIMEOUT_MS = 5000;

enum { UID_OK = 0, UID_TIMEOUT = 1, UID_USAGE = 2, UID_NOTFOUND = 3 };

FILE* g_pOut = nullptr;

std::string ToUtf8(const std::wstring& str) {
    if (str.empty()) return {};
    int n = ::WideCharToMultiByte(CP_UTF8, 0, str.data(), (int)str.size(), nullptr, 0, nullptr,
                                  nullptr);
    std::string out(n, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, str.data(), (int)str.size(), out.data(), n, nullptr,
                          nullptr);
    return out;
}

// One result line, to stdout and the --out file, flushed at once so that a
// watcher that is killed still leaves what it saw.
void Emit(const std::wstring& strLine) {
    std::string s = ToUtf8(strLine) + "\n";
    fwrite(s.data(), 1, s.size(), stdout);
    fflush(stdout);
    if (g_pOut) {
        fwrite(s.data(), 1, s.size(), g_pOut);
        fflush(g_pOut);
    }
}

std::wstring Fmt(const wchar_t* pszFormat, ...) {
    wchar_t buf[2048];
    va_list args;
    va_start(args, pszFormat);
    _vsnwprintf(buf, 2047, pszFormat, args);
    va_end(args);
    buf[2047] = 0;
    return buf;
}

std::wstring ClassOf(HWND hWnd) {
    wchar_t buf[256] = {};
    ::GetClassNameW(hWnd, buf, 255);
    return buf;
}

// Text of a window of another process: WM_GETTEXT is marshalled by the system.
std::wstring TextOf(HWND hWnd) {
    DWORD_PTR nLen = 0;
    if (!::SendMessageTimeoutW(hWnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, UID_SEND_TIMEOUT_MS,
                               &nLen))
        return {};
    std::vector<wchar_t> buf(nLen + 2, 0);
    DWORD_PTR nGot = 0;
    ::SendMessageTimeoutW(hWnd, WM_GETTEXT, buf.size(), (LPARAM)buf.data(), SMTO_ABORTIFHUNG,
                          UID_SEND_TIMEOUT_MS, &nGot);
    return std::wstring(buf.data());
}

struct FindCtx {
    HWND hFound = nullptr;
    std::wstring strCaption;  // exact caption wanted
    bool bPrefix = false;     // caption only has to start with strCaption
    bool bMain = false;       // must own the record button
    bool bNotMain = false;    // must not own the record button
    DWORD dwPid = 0;          // when set, the window must belong to this process
};

BOOL CALLBACK FindProc(HWND hWnd, LPARAM lParam) {
    FindCtx* pCtx = reinterpret_cast<FindCtx*>(lParam);
    if (ClassOf(hWnd) != L"#32770") return TRUE;
    std::wstring strText = TextOf(hWnd);
    if (pCtx->bPrefix ? strText.rfind(pCtx->strCaption, 0) != 0 : strText != pCtx->strCaption)
        return TRUE;
    bool bHasRecord = ::GetDlgItem(hWnd, UID_RECORD_BUTTON) != nullptr;
    if (pCtx->bMain && !bHasRecord) return TRUE;
    if (pCtx->bNotMain && bHasRecord) return TRUE;
    if (pCtx->dwPid) {
        DWORD dwPid = 0;
        ::GetWindowThreadProcessId(hWnd, &dwPid);
        if (dwPid != pCtx->dwPid) return TRUE;
    }
    pCtx->hFound = hWnd;
    return FALSE;
}

HWND FindMain() {
    FindCtx ctx;
    ctx.strCaption = UID_MAIN_TITLE;
    ctx.bMain = true;
    ::EnumWindows(FindProc, (LPARAM)&ctx);
    return ctx.hFound;
}

int CountMain() {
    struct Counter {
        static BOOL CALLBACK Proc(HWND hWnd, LPARAM lParam) {
            if (ClassOf(hWnd) == L"#32770" && TextOf(hWnd) == UID_MAIN_TITLE &&
                ::GetDlgItem(hWnd, UID_RECORD_BUTTON))
                ++*reinterpret_cast<int*>(lParam);
            return TRUE;
        }
    };
    int n = 0;
    ::EnumWindows(Counter::Proc, (LPARAM)&n);
    return n;
}

DWORD PidOf(HWND hWnd) {
    DWORD dwPid = 0;
    ::GetWindowThreadProcessId(hWnd, &dwPid);
    return dwPid;
}

// The history window: the dialog of the main window's process whose caption
// starts with "history".
HWND FindHistory(HWND hMain) {
    FindCtx ctx;
    ctx.strCaption = L"history";
    ctx.bPrefix = true;
    ctx.bNotMain = true;
    ctx.dwPid = PidOf(hMain);
    ::EnumWindows(FindProc, (LPARAM)&ctx);
    return ctx.hFound;
}

// A message box: the dialog with that caption that is not the main window.
HWND FindBox(const std::wstring& strCaption) {
    FindCtx ctx;
    ctx.strCaption = strCaption;
    ctx.bNotMain = true;
    ::EnumWindows(FindProc, (LPARAM)&ctx);
    return ctx.hFound;
}

// Waits (polling) until fn() is true or the time is up.
template <class F>
bool WaitFor(double dSeconds, F fn) {
    DWORD dwStart = ::GetTickCount();
    DWORD dwLimit = (DWORD)(dSeconds * 1000.0);
    for (;;) {
        if (fn()) return true;
        if (::GetTickCount() - dwStart >= dwLimit) return false;
        ::Sleep(UID_POLL_MS);
    }
}

std::wstring RectText(const RECT& rc) {
    return Fmt(L"%ld,%ld,%ld,%ld", rc.left, rc.top, rc.right, rc.bottom);
}

// A level meter's reading. The standard progress bar answers PBM_GETPOS; a
// self-drawn meter does not, so its lit width is also measured from the screen:
// the share of columns of the middle row drawn in a green lit-block colour.
struct MeterReading {
    bool bPosKnown = false;
    int nPos = 0;
    bool bPixelsKnown = false;
    double dLit = 0.0;
};

bool IsLitColour(COLORREF cr) {
    int r = GetRValue(cr), g = GetGValue(cr), b = GetBValue(cr);
    return g >= 120 && g > r + 50 && g > b + 50;
}

MeterReading ReadMeter(HWND hCtl) {
    MeterReading m;
    if (ClassOf(hCtl) == PROGRESS_CLASSW) {
        DWORD_PTR nPos = 0;
        if (::SendMessageTimeoutW(hCtl, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, UID_SEND_TIMEOUT_MS,
                                  &nPos)) {
            m.bPosKnown = true;
            m.nPos = (int)nPos;
        }
    }
    RECT rc{};
    ::GetClientRect(hCtl, &rc);
    int cx = rc.right, cy = rc.bottom;
    if (cx <= 0 || cy <= 0) return m;
    HDC hScreen = ::GetDC(nullptr);
    HDC hMem = ::CreateCompatibleDC(hScreen);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = cx;
    bi.bmiHeader.biHeight = -cy;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* pBits = nullptr;
    HBITMAP hBmp = ::CreateDIBSection(hScreen, &bi, DIB_RGB_COLORS, &pBits, nullptr, 0);
    if (hBmp && pBits) {
        HGDIOBJ hOld = ::SelectObject(hMem, hBmp);
        memset(pBits, 0, (size_t)cx * cy * 4);
        // Read back from the screen: WM_PRINT would make the meter ask its parent
        // to paint its background, and a watcher polling that way keeps the main
        // window busy repainting. Under the null display driver the screen is
        // empty and the reading stays unknown.
        POINT pt{0, 0};
        ::ClientToScreen(hCtl, &pt);
        bool bGot = ::IsWindowVisible(hCtl) &&
                    ::BitBlt(hMem, 0, 0, cx, cy, hScreen, pt.x, pt.y, SRCCOPY);
        if (bGot) {
            ::GdiFlush();
            const DWORD* pRow = static_cast<const DWORD*>(pBits) + (size_t)(cy / 2) * cx;
            int nLit = 0;
            bool bAnyPainted = false;
            for (int x = 0; x < cx; ++x) {
                DWORD px = pRow[x];
                COLORREF cr = RGB((px >> 16) & 0xFF, (px >> 8) & 0xFF, px & 0xFF);
                if (px) bAnyPainted = true;
                if (IsLitColour(cr)) ++nLit;
            }
            if (bAnyPainted) {
                m.bPixelsKnown = true;
                m.dLit = (double)nLit / cx;
            }
        }
        ::SelectObject(hMem, hOld);
    }
    if (hBmp) ::DeleteObject(hBmp);
    ::DeleteDC(hMem);
    ::ReleaseDC(nullptr, hScreen);
    return m;
}

std::wstring MeterText(const MeterReading& m) {
    std::wstring s = m.bPosKnown ? Fmt(L"pos=%d", m.nPos) : std::wstring(L"pos=unsupported");
    s += m.bPixelsKnown ? Fmt(L" lit=%.3f", m.dLit) : std::wstring(L" lit=unknown");
    return s;
}

std::wstring StateText(HWND hCtl) {
    return Fmt(L"visible=%d enabled=%d", ::IsWindowVisible(hCtl) ? 1 : 0,
               ::IsWindowEnabled(hCtl) ? 1 : 0);
}

struct Args {
    std::vector<std::wstring> v;
    size_t n = 0;
    bool Has(size_t k = 1) const { return n + k <= v.size(); }
    const std::wstring& Next() { return v[n++]; }
    int NextInt() { return (int)wcstol(Next().c_str(), nullptr, 0); }
    double NextDouble() { return wcstod(Next().c_str(), nullptr); }
};

int Usage() {
    fwprintf(stderr,
             L"usage: uidriver [--out FILE] VERB ARGS\n"
             L"  find | wait-window SECS | wait-gone SECS | count\n"
             L"  click ID [--force] | command ID | close | exit | crash | tray left|right [ICONID]\n"
             L"  text ID | state ID | meter ID | rect [ID] | client | move X Y\n"
             L"  wait-text ID TEXT SECS | wait-state ID visible|hidden|enabled|disabled SECS\n"
             L"  wait-meter ID MINLIT SECS | watch SECS ID...\n"
             L"  box CAPTION SECS [ok|cancel|yes|no]\n"
             L"  history | wait-history visible|hidden SECS | history-count\n"
             L"  hold FILE SECS (keeps FILE open without sharing, as another program may)\n"
             L"  taskbar SECS (stands in for the taskbar: one line per tray icon call)\n");
    return UID_USAGE;
}

HWND NeedMain() {
    HWND hMain = FindMain();
    if (!hMain) Emit(L"error: main window not found");
    return hMain;
}

HWND NeedControl(HWND hMain, int nId) {
    HWND hCtl = ::GetDlgItem(hMain, nId);
    if (!hCtl) Emit(Fmt(L"error: control %d not found", nId));
    return hCtl;
}

bool StateIs(HWND hCtl, const std::wstring& strState) {
    if (strState == L"visible") return ::IsWindowVisible(hCtl);
    if (strState == L"hidden") return !::IsWindowVisible(hCtl);
    if (strState == L"enabled") return ::IsWindowEnabled(hCtl);
    if (strState == L"disabled") return !::IsWindowEnabled(hCtl);
    return false;
}

// Logs every change of the given controls' text (and of meters' readings) with
// the time since the start, until the time is up or the main window goes away.
int Watch(double dSeconds, const std::vector<int>& ids) {
    DWORD dwStart = ::GetTickCount();
    HWND hMain = nullptr;
    WaitFor(dSeconds, [&] { return (hMain = FindMain()) != nullptr; });
    if (!hMain) {
        Emit(L"error: main window not found");
        return UID_NOTFOUND;
    }
    std::vector<std::wstring> last(ids.size());
    std::vector<bool> seen(ids.size(), false);
    while (::GetTickCount() - dwStart < (DWORD)(dSeconds * 1000.0)) {
        if (!::IsWindow(hMain)) {
            Emit(Fmt(L"%.3f gone", (::GetTickCount() - dwStart) / 1000.0));
            return UID_OK;
        }
        for (size_t i = 0; i < ids.size(); ++i) {
            HWND hCtl = ::GetDlgItem(hMain, ids[i]);
            if (!hCtl) continue;
            std::wstring strNow;
            if (ids[i] == 1005 || ids[i] == 1006) {
                MeterReading m = ReadMeter(hCtl);
                strNow = m.bPixelsKnown ? Fmt(L"lit=%.1f", m.dLit) : std::wstring(L"lit=unknown");
            } else {
                strNow = TextOf(hCtl) + (::IsWindowVisible(hCtl) ? L"" : L" [hidden]");
            }
            if (!seen[i] || strNow != last[i]) {
                seen[i] = true;
                last[i] = strNow;
                Emit(Fmt(L"%.3f %d %s", (::GetTickCount() - dwStart) / 1000.0, ids[i],
                         strNow.c_str()));
            }
        }
        ::Sleep(UID_POLL_MS);
    }
    return UID_OK;
}

int PressBox(HWND hBox, const std::wstring& strButton) {
    int nId = IDOK;
    if (strButton == L"cancel") nId = IDCANCEL;
    if (strButton == L"yes") nId = IDYES;
    if (strButton == L"no") nId = IDNO;
    HWND hBtn = ::GetDlgItem(hBox, nId);
    ::PostMessageW(hBox, WM_COMMAND, MAKEWPARAM(nId, BN_CLICKED), (LPARAM)hBtn);
    return UID_OK;
}

// The message text of a box: its static controls' texts, joined.
std::wstring BoxText(HWND hBox) {
    std::wstring strAll;
    for (HWND h = ::GetWindow(hBox, GW_CHILD); h; h = ::GetWindow(h, GW_HWNDNEXT)) {
        if (_wcsicmp(ClassOf(h).c_str(), L"Static") != 0) continue;
        std::wstring s = TextOf(h);
        if (s.empty()) continue;
        if (!strAll.empty()) strAll += L" | ";
        strAll += s;
    }
    for (auto& c : strAll)
        if (c == L'\r' || c == L'\n') c = L' ';
    return strAll;
}

// What Wine's Shell_NotifyIconW sends the taskbar in its WM_COPYDATA (dwData: NIM_*),
// as far as the balloon goes.
struct TrayData {
    LONG hWnd;
    UINT uID;
    UINT uFlags;
    UINT uCallbackMessage;
    WCHAR szTip[128];
    DWORD dwState;
    DWORD dwStateMask;
    WCHAR szInfo[256];
    UINT uTimeout;
    WCHAR szInfoTitle[64];
    DWORD dwInfoFlags;
};

LRESULT CALLBACK TaskbarProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg != WM_COPYDATA) return ::DefWindowProcW(hWnd, uMsg, wParam, lParam);
    const auto* pCds = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    if (!pCds || pCds->cbData < sizeof(TrayData)) return FALSE;
    TrayData d;
    memcpy(&d, pCds->lpData, sizeof d);
    d.szTip[127] = d.szInfo[255] = d.szInfoTitle[63] = 0;
    const wchar_t* ops[] = {L"add", L"modify", L"delete"};
    Emit(Fmt(L"tray %ls id=%u flags=0x%x tip=%ls | title=%ls | info=%ls",
             pCds->dwData < 3 ? ops[pCds->dwData] : L"other", d.uID, d.uFlags, d.szTip,
             (d.uFlags & NIF_INFO) ? d.szInfoTitle : L"", (d.uFlags & NIF_INFO) ? d.szInfo : L""));
    return TRUE;
}

// A taskbar of our own for SECS seconds; every running program is told it came up.
int Taskbar(double dSeconds) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = TaskbarProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"Shell_TrayWnd";
    if (!::RegisterClassW(&wc) || !::CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                                                     nullptr, wc.hInstance, nullptr)) {
        Emit(L"error: no taskbar window");
        return UID_NOTFOUND;
    }
    ::SendNotifyMessageW(HWND_BROADCAST, ::RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    Emit(L"taskbar up");
    DWORD dwEnd = ::GetTickCount() + (DWORD)(dSeconds * 1000);
    while ((LONG)(::GetTickCount() - dwEnd) < 0) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, UID_POLL_MS, QS_ALLINPUT);
    }
    return UID_OK;
}

int Run(Args& a) {
    if (!a.Has()) return Usage();
    std::wstring strVerb = a.Next();

    if (strVerb == L"find" || strVerb == L"wait-window") {
        double dSecs = strVerb == L"find" ? 0.0 : (a.Has() ? a.NextDouble() : 10.0);
        HWND hMain = nullptr;
        WaitFor(dSecs, [&] { return (hMain = FindMain()) != nullptr; });
        if (!hMain) {
            Emit(L"error: main window not found");
            return strVerb == L"find" ? UID_NOTFOUND : UID_TIMEOUT;
        }
        RECT rc{};
        ::GetWindowRect(hMain, &rc);
        Emit(Fmt(L"hwnd=0x%lx pid=%lu visible=%d rect=%s", (unsigned long)(ULONG_PTR)hMain,
                 PidOf(hMain), ::IsWindowVisible(hMain) ? 1 : 0, RectText(rc).c_str()));
        return UID_OK;
    }
    if (strVerb == L"count") {
        Emit(Fmt(L"%d", CountMain()));
        return UID_OK;
    }
    if (strVerb == L"wait-gone") {
        if (!a.Has()) return Usage();
        double dSecs = a.NextDouble();
        bool bGone = WaitFor(dSecs, [] { return FindMain() == nullptr; });
        Emit(bGone ? L"gone" : L"still there");
        return bGone ? UID_OK : UID_TIMEOUT;
    }
    if (strVerb == L"box") {
        if (!a.Has(2)) return Usage();
        std::wstring strCaption = a.Next();
        double dSecs = a.NextDouble();
        std::wstring strButton = a.Has() ? a.Next() : L"ok";
        HWND hBox = nullptr;
        WaitFor(dSecs, [&] { return (hBox = FindBox(strCaption)) != nullptr; });
        if (!hBox) {
            Emit(L"error: no box");
            return UID_TIMEOUT;
        }
        Emit(Fmt(L"box pid=%lu text=%s", PidOf(hBox), BoxText(hBox).c_str()));
        return PressBox(hBox, strButton);
    }

    if (strVerb == L"taskbar") {
        if (!a.Has()) return Usage();
        return Taskbar(a.NextDouble());
    }
    if (strVerb == L"hold") {
        if (!a.Has(2)) return Usage();
        std::wstring strFile = a.Next();
        double dSecs = a.NextDouble();
        HANDLE hFile = ::CreateFileW(strFile.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (hFile == INVALID_HANDLE_VALUE) {
            Emit(Fmt(L"error: cannot open (%lu)", ::GetLastError()));
            return UID_NOTFOUND;
        }
        Emit(L"held");
        ::Sleep(static_cast<DWORD>(dSecs * 1000));
        ::CloseHandle(hFile);
        Emit(L"released");
        return UID_OK;
    }

    HWND hMain = NeedMain();
    if (!hMain) return UID_NOTFOUND;

    if (strVerb == L"click") {
        if (!a.Has()) return Usage();
        int nId = a.NextInt();
        bool bForce = a.Has() && a.Next() == L"--force";
        HWND hCtl = NeedControl(hMain, nId);
        if (!hCtl) return UID_NOTFOUND;
        // A user cannot click what is disabled or hidden.
        if (!bForce && (!::IsWindowEnabled(hCtl) || !::IsWindowVisible(hCtl))) {
            Emit(Fmt(L"error: control %d not clickable (%s)", nId, StateText(hCtl).c_str()));
            return UID_NOTFOUND;
        }
        // Sent, not posted: when it returns the window has handled the click,
        // unless the click opened a modal loop (then the time-out frees us).
        DWORD_PTR nRes = 0;
        ::SendMessageTimeoutW(hCtl, BM_CLICK, 0, 0, SMTO_NORMAL, UID_SEND_TIMEOUT_MS, &nRes);
        Emit(Fmt(L"clicked %d", nId));
        return UID_OK;
    }
    if (strVerb == L"command") {
        if (!a.Has()) return Usage();
        int nId = a.NextInt();
        ::PostMessageW(hMain, WM_COMMAND, MAKEWPARAM(nId, 0), 0);
        Emit(Fmt(L"posted command %d", nId));
        return UID_OK;
    }
    if (strVerb == L"tray") {
        // The tray icon's callback as a click on the icon would send it.
        if (!a.Has()) return Usage();
        std::wstring strButton = a.Next();
        LPARAM lMsg = strButton == L"right" ? WM_RBUTTONUP : WM_LBUTTONUP;
        WPARAM wId = a.Has() ? (WPARAM)a.NextInt() : 1;
        ::PostMessageW(hMain, WM_USER + 0x101, wId, lMsg);
        Emit(Fmt(L"posted tray %s", strButton.c_str()));
        return UID_OK;
    }
    if (strVerb == L"close") {
        ::PostMessageW(hMain, WM_CLOSE, 0, 0);
        Emit(L"posted WM_CLOSE");
        return UID_OK;
    }
    if (strVerb == L"crash") {
        // A thread of ours in the recorder that starts at an address holding no code:
        // the recorder meets a fault it did not cause and cannot handle.
        DWORD dwPid = PidOf(hMain);
        HANDLE hProcess = ::OpenProcess(PROCESS_CREATE_THREAD | PROCESS_QUERY_INFORMATION | PROCESS_VM_OPERATION |
                                            PROCESS_VM_WRITE | PROCESS_VM_READ,
                                        FALSE, dwPid);
        if (!hProcess) {
            Emit(Fmt(L"error: cannot open process %lu (%lu)", dwPid, ::GetLastError()));
            return UID_NOTFOUND;
        }
        HANDLE hThread = ::CreateRemoteThread(hProcess, nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(1),
                                              nullptr, 0, nullptr);
        DWORD dwError = ::GetLastError();
        if (hThread) ::CloseHandle(hThread);
        ::CloseHandle(hProcess);
        if (!hThread) {
            Emit(Fmt(L"error: no remote thread (%lu)", dwError));
            return UID_NOTFOUND;
        }
        Emit(Fmt(L"faulting thread started in %lu", dwPid));
        return UID_OK;
    }
    if (strVerb == L"exit") {
        // The tray menu's "Exit" item.
        ::PostMessageW(hMain, WM_COMMAND, MAKEWPARAM(32772, 0), 0);
        Emit(L"posted Exit");
        return UID_OK;
    }
    if (strVerb == L"text" || strVerb == L"state" || strVerb == L"meter") {
        if (!a.Has()) return Usage();
        int nId = a.NextInt();
        HWND hCtl = NeedControl(hMain, nId);
        if (!hCtl) return UID_NOTFOUND;
        if (strVerb == L"text") Emit(TextOf(hCtl));
        if (strVerb == L"state") Emit(StateText(hCtl));
        if (strVerb == L"meter") Emit(MeterText(ReadMeter(hCtl)));
        return UID_OK;
    }
    if (strVerb == L"rect") {
        HWND hWnd = hMain;
        if (a.Has()) {
            hWnd = NeedControl(hMain, a.NextInt());
            if (!hWnd) return UID_NOTFOUND;
        }
        RECT rc{};
        ::GetWindowRect(hWnd, &rc);
        Emit(RectText(rc));
        return UID_OK;
    }
    if (strVerb == L"client") {
        RECT rc{};
        ::GetClientRect(hMain, &rc);
        Emit(Fmt(L"%ld,%ld", rc.right, rc.bottom));
        return UID_OK;
    }
    if (strVerb == L"move") {
        if (!a.Has(2)) return Usage();
        int x = a.NextInt(), y = a.NextInt();
        ::SetWindowPos(hMain, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        RECT rc{};
        ::GetWindowRect(hMain, &rc);
        Emit(RectText(rc));
        return UID_OK;
    }
    if (strVerb == L"wait-text") {
        if (!a.Has(3)) return Usage();
        int nId = a.NextInt();
        std::wstring strWanted = a.Next();
        double dSecs = a.NextDouble();
        HWND hCtl = NeedControl(hMain, nId);
        if (!hCtl) return UID_NOTFOUND;
        std::wstring strNow;
        bool bOk = WaitFor(dSecs, [&] { return (strNow = TextOf(hCtl)) == strWanted; });
        Emit(strNow);
        return bOk ? UID_OK : UID_TIMEOUT;
    }
    if (strVerb == L"wait-state") {
        if (!a.Has(3)) return Usage();
        int nId = a.NextInt();
        std::wstring strState = a.Next();
        double dSecs = a.NextDouble();
        HWND hCtl = NeedControl(hMain, nId);
        if (!hCtl) return UID_NOTFOUND;
        bool bOk = WaitFor(dSecs, [&] { return StateIs(hCtl, strState); });
        Emit(StateText(hCtl));
        return bOk ? UID_OK : UID_TIMEOUT;
    }
    if (strVerb == L"wait-meter") {
        if (!a.Has(3)) return Usage();
        int nId = a.NextInt();
        double dMin = a.NextDouble();
        double dSecs = a.NextDouble();
        HWND hCtl = NeedControl(hMain, nId);
        if (!hCtl) return UID_NOTFOUND;
        MeterReading m;
        bool bOk = WaitFor(dSecs, [&] {
            m = ReadMeter(hCtl);
            return m.bPosKnown ? m.nPos >= dMin : (m.bPixelsKnown && m.dLit >= dMin);
        });
        Emit(MeterText(m));
        return bOk ? UID_OK : UID_TIMEOUT;
    }
    if (strVerb == L"watch") {
        if (!a.Has(2)) return Usage();
        double dSecs = a.NextDouble();
        std::vector<int> ids;
        while (a.Has()) ids.push_back(a.NextInt());
        return Watch(dSecs, ids);
    }
    if (strVerb == L"history" || strVerb == L"wait-history" || strVerb == L"history-count") {
        std::wstring strState = L"visible";
        double dSecs = 0.0;
        if (strVerb == L"wait-history") {
            if (!a.Has(2)) return Usage();
            strState = a.Next();
            dSecs = a.NextDouble();
        }
        HWND hHist = nullptr;
        bool bOk = WaitFor(dSecs, [&] {
            hHist = FindHistory(hMain);
            if (strVerb != L"wait-history") return hHist != nullptr;
            bool bVisible = hHist && ::IsWindowVisible(hHist);
            return strState == L"visible" ? bVisible : !bVisible;
        });
        if (!hHist) {
            Emit(L"error: history window not found");
            return strVerb == L"wait-history" && strState == L"hidden" ? UID_OK : UID_NOTFOUND;
        }
        if (strVerb == L"history-count") {
            // Rows of the tree in the history window (days and recordings).
            HWND hTree = ::FindWindowExW(hHist, nullptr, WC_TREEVIEWW, nullptr);
            if (!hTree) {
                Emit(L"error: no tree");
                return UID_NOTFOUND;
            }
            DWORD_PTR nCount = 0;
            ::SendMessageTimeoutW(hTree, TVM_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG,
                                  UID_SEND_TIMEOUT_MS, &nCount);
            Emit(Fmt(L"%lu", (unsigned long)nCount));
            return UID_OK;
        }
        RECT rc{};
        ::GetWindowRect(hHist, &rc);
        Emit(Fmt(L"hwnd=0x%lx visible=%d rect=%s", (unsigned long)(ULONG_PTR)hHist,
                 ::IsWindowVisible(hHist) ? 1 : 0, RectText(rc).c_str()));
        return bOk ? UID_OK : UID_TIMEOUT;
    }
    return Usage();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Args a;
    for (int i = 1; i < argc; ++i) a.v.push_back(argv[i]);
    if (a.Has(2) && a.v[0] == L"--out") {
        g_pOut = _wfopen(a.v[1].c_str(), L"wb");
        a.n = 2;
    }
    int nRes = Run(a);
    if (g_pOut) fclose(g_pOut);
    return nRes;
}
