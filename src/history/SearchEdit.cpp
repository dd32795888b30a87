#include "history/SearchEdit.h"

#include <commctrl.h>

WPARAM HistoryKeyOf(WPARAM wVirtualKey) {
    if (wVirtualKey == VK_ESCAPE) return VK_ESCAPE;
    if (wVirtualKey == 'F' && ::GetKeyState(VK_CONTROL) < 0) return 'F';
    return 0;
}

void CSearchEdit::SetCueBanner(const wchar_t* pszCue) const {
    // TRUE: the hint stays while the box has the focus, until something is typed.
    SendMessage(EM_SETCUEBANNER, TRUE, (LPARAM)pszCue);
}

LRESULT CSearchEdit::OnMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_KEYDOWN && m_hNotifyWnd) {
        if (WPARAM wKey = HistoryKeyOf(wParam)) {
            ::SendMessageW(m_hNotifyWnd, WM_HISTORY_KEY, wKey, 0);
            return 0;
        }
    }
    // The characters Esc and Ctrl+F make would only beep in an edit control.
    if (uMsg == WM_CHAR && (wParam == 0x1B || wParam == 0x06)) return 0;
    return CWindow::OnMessage(uMsg, wParam, lParam);
}
