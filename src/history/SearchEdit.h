#pragma once
// The history window's filter box: an edit control that hands Esc and Ctrl+F to
// the window. The window gets no dialog keyboard handling of its own (the main
// window's modal loop serves only the main window), so the box asks for them.
#include <windows.h>

#include "base/Window.h"

class CSearchEdit : public CWindow {
public:
    void SetNotifyWindow(HWND hWnd) { m_hNotifyWnd = hWnd; }
    // The grey hint shown while the box is empty and has no focus.
    void SetCueBanner(const wchar_t* pszCue) const;

protected:
    LRESULT OnMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

private:
    HWND m_hNotifyWnd = nullptr;
};

// Sent to the history window by the filter box and the tree: wParam VK_ESCAPE, or 'F'
// for Ctrl+F.
constexpr UINT WM_HISTORY_KEY = WM_USER + 0x446;

// The key a WM_KEYDOWN stands for in the history window, or 0 for one it does not take.
WPARAM HistoryKeyOf(WPARAM wVirtualKey);
