#include "app/HotKeys.h"

#include "base/Notifier.h"
#include "base/StringUtil.h"

namespace {
struct HotKeyInfo {
    int nId;
    UINT vk;
    const wchar_t* pszKey;
    const wchar_t* pszAction;
};
constexpr HotKeyInfo HOT_KEYS[] = {{HOTKEY_RECORD, 'R', L"Ctrl+Alt+R", L"start and stop recording"},
                                   {HOTKEY_PAUSE, 'P', L"Ctrl+Alt+P", L"pause and resume"}};
}  // namespace

int CHotKeys::Apply(HWND hWnd, bool bOn) {
    for (int i = 0; i < 2; ++i) {
        if (m_bHeld[i]) ::UnregisterHotKey(m_hWnd, HOT_KEYS[i].nId);
        m_bHeld[i] = false;
    }
    m_hWnd = hWnd;
    if (!bOn || !hWnd) return 0;
    int nHeld = 0;
    for (int i = 0; i < 2; ++i) {
        const HotKeyInfo& key = HOT_KEYS[i];
        m_bHeld[i] = ::RegisterHotKey(hWnd, key.nId, MOD_CONTROL | MOD_ALT | MOD_NOREPEAT, key.vk) != FALSE;
        if (m_bHeld[i]) {
            ++nHeld;
            continue;
        }
        NotifyMessageBox(hWnd,
                         FormatW(L"The hot key %ls is already taken by another program, so it cannot %ls here.\n"
                                 L"Use the button in the main window, or close the other program and turn the "
                                 L"hot keys on again in Options, Rules.",
                                 key.pszKey, key.pszAction),
                         L"Ombra Skype Recorder", MB_OK | MB_ICONWARNING);
    }
    return nHeld;
}
