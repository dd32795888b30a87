#pragma once
// The application: one instance per user session, the process set up for the
// main window, which runs modally; the program ends with it.
#include <windows.h>

// The single-instance mutex a second start finds.
inline constexpr wchar_t APP_MUTEX_NAME[] = L"Ombra_RECORDER";

class CHelloWorldApp {
public:
    CHelloWorldApp() = default;
    CHelloWorldApp(const CHelloWorldApp&) = delete;
    CHelloWorldApp& operator=(const CHelloWorldApp&) = delete;

    // Runs the whole program; always false (the application ends when it returns).
    bool InitInstance();
    // The process exit code: 0, or a second start's answer to its command.
    int ExitInstance();

    HANDLE m_hMutex = nullptr;

private:
    bool m_bWinsock = false;
    bool m_bCom = false;
    int m_nExitCode = 0;
    const wchar_t* m_pszExitReason = L"unknown";
};
