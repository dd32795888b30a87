#pragma once
// Helpers for the history window tests: data files, scratch folders, message pumping.
#include <windows.h>

#include <functional>
#include <string>

// A file of tests/historyui/data as a Windows path (Wine maps Z: to the Linux root).
inline std::wstring DataFile(const wchar_t* pszName) {
    std::string strUnix = OMBRA_HISTORYUI_DATA;
    std::wstring strPath = L"Z:";
    for (char c : strUnix) strPath += (c == '/') ? L'\\' : (wchar_t)c;
    return strPath + L"\\" + pszName;
}

// A fresh folder under the temporary folder, named after the test.
inline std::wstring ScratchFolder(const wchar_t* pszName) {
    wchar_t szTemp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, szTemp);
    std::wstring strDir = std::wstring(szTemp) + L"ombra_historyui_" + pszName;
    ::CreateDirectoryW(strDir.c_str(), nullptr);
    return strDir;
}

// Dispatches messages (timers, posted messages) for the given time.
inline void PumpMessages(DWORD dwMs) {
    DWORD dwEnd = ::GetTickCount() + dwMs;
    for (;;) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        if ((LONG)(::GetTickCount() - dwEnd) >= 0) return;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

// Pumps messages until the condition holds or the time is up; returns the condition.
inline bool PumpUntil(const std::function<bool()>& fnDone, DWORD dwMs) {
    DWORD dwEnd = ::GetTickCount() + dwMs;
    while (!fnDone()) {
        if ((LONG)(::GetTickCount() - dwEnd) >= 0) return fnDone();
        PumpMessages(20);
    }
    return true;
}
