#pragma once
// The global hot keys ("hotkeys"): Ctrl+Alt+R acts as the record button, Ctrl+Alt+P
// as the pause button, from any program.
#include <windows.h>

inline constexpr int HOTKEY_RECORD = 1;
inline constexpr int HOTKEY_PAUSE = 2;

class CHotKeys {
public:
    CHotKeys() = default;
    ~CHotKeys() { Apply(nullptr, false); }
    CHotKeys(const CHotKeys&) = delete;
    CHotKeys& operator=(const CHotKeys&) = delete;

    // Registers both keys for hWnd (WM_HOTKEY, wParam HOTKEY_*) when bOn, else gives
    // them up. A key another program holds is named in a box; the other still works.
    // Returns the number of keys held.
    int Apply(HWND hWnd, bool bOn);

private:
    HWND m_hWnd = nullptr;
    bool m_bHeld[2] = {false, false};
};
