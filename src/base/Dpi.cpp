#include "base/Dpi.h"

namespace {
template <class Fn>
Fn UserProc(const char* pszName) {
    HMODULE hUser = ::GetModuleHandleW(L"user32.dll");
    return hUser ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(hUser, pszName))) : nullptr;
}
using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
}  // namespace

namespace Dpi {
UINT System() {
    static const UINT s_nDpi = [] {
        HDC hDC = ::GetDC(nullptr);
        int n = hDC ? ::GetDeviceCaps(hDC, LOGPIXELSY) : 0;
        if (hDC) ::ReleaseDC(nullptr, hDC);
        return n > 0 ? static_cast<UINT>(n) : BASE;
    }();
    return s_nDpi;
}

UINT ForWindow(HWND hWnd) {
    static const auto s_pfn = UserProc<GetDpiForWindowFn>("GetDpiForWindow");
    UINT n = s_pfn && hWnd ? s_pfn(hWnd) : 0;
    return n ? n : System();
}

UINT ArtDpi(UINT nDpi) {
    // The nearest of the drawn scales; halfway goes up, as a larger picture stays legible.
    static const UINT s_scales[] = {96, 120, 144, 192};
    UINT nBest = s_scales[0];
    for (UINT n : s_scales) {
        UINT d = n > nDpi ? n - nDpi : nDpi - n, dBest = nBest > nDpi ? nBest - nDpi : nDpi - nBest;
        if (d <= dBest) nBest = n;
    }
    return nBest;
}
}  // namespace Dpi
