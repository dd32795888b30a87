#pragma once
// The simulator's log: one line per event, "TIME KIND TEXT", flushed at once so
// that a test can read it while skypesim is still running.
#include <cstdio>
#include <string>

#include "base/Lock.h"

class CSimLog {
public:
    CSimLog();
    ~CSimLog();
    CSimLog(const CSimLog&) = delete;
    CSimLog& operator=(const CSimLog&) = delete;

    // "-" is standard output. Returns false when the file cannot be created.
    bool Open(const std::wstring& strPath);
    void SetEcho(bool bEcho) { m_bEcho = bEcho; }
    // Seconds since the log (the program) started, from a monotonic clock.
    double Now() const;
    // Control characters in the text are escaped so that one event stays one line.
    void Write(const wchar_t* pszKind, const std::wstring& strText);

private:
    CCriticalSection m_cs;
    FILE* m_pFile = nullptr;
    bool m_bOwnFile = false;
    bool m_bEcho = false;
    long long m_nStart = 0;
    long long m_nFrequency = 1;
};

// Makes a Linux absolute path usable under Wine ("/tmp/x" -> "Z:/tmp/x").
std::wstring SimPath(const std::wstring& strPath);

// Escapes CR, LF, tab and other control characters as \r, \n, \t, \xNN.
std::wstring EscapeControl(const std::wstring& strText);
