#pragma once
// Display scaling: the DPI of a window and the pixel sizes of the skinned windows.
// The per-monitor functions exist from Windows 10 on and are looked up at run time;
// Windows 7 and 8 get the system DPI.
#include <windows.h>

namespace Dpi {
constexpr UINT BASE = 96;
// The DPI of the monitor the window is on (of the system without per-monitor support).
UINT ForWindow(HWND hWnd);
UINT System();
// The scale of the pictures drawn for this DPI: 96, 120, 144 or 192.
UINT ArtDpi(UINT nDpi);
// A length given at 96 DPI, at nDpi.
inline int Scale(int n, UINT nDpi) { return ::MulDiv(n, static_cast<int>(nDpi), static_cast<int>(BASE)); }
}  // namespace Dpi
