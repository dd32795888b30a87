#include "base/Log.h"

#include <windows.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>

#include "base/Lock.h"
#include "base/StringUtil.h"

namespace {

constexpr int LOG_LINE_CHARS = 1000;

struct LogState {
    CCriticalSection cs;
    HANDLE hFile = INVALID_HANDLE_VALUE;
    std::wstring strFolder;
    unsigned long long nSize = 0;
    std::atomic<bool> bOpened{false};
};

LogState& State() {
    static LogState state;
    return state;
}

// Another instance (or a user's viewer) may hold the file: it is shared every way,
// so that a rotation can move it under them.
HANDLE OpenLogFile(const std::wstring& strPath, DWORD dwDisposition) {
    return ::CreateFileW(strPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, dwDisposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

void CloseLocked(LogState& s) {
    if (s.hFile != INVALID_HANDLE_VALUE) ::CloseHandle(s.hFile);
    s.hFile = INVALID_HANDLE_VALUE;
    s.nSize = 0;
}

// The oldest file goes, each other one moves up an age, the current one starts empty.
void RotateLocked(LogState& s) {
    CloseLocked(s);
    ::DeleteFileW(LogFilePath(s.strFolder, LOG_FILES - 1).c_str());
    for (int nAge = LOG_FILES - 2; nAge >= 0; --nAge)
        ::MoveFileExW(LogFilePath(s.strFolder, nAge).c_str(), LogFilePath(s.strFolder, nAge + 1).c_str(),
                      MOVEFILE_REPLACE_EXISTING);
    // Should the move have failed, the file starts over rather than outgrow the limit.
    s.hFile = OpenLogFile(LogFilePath(s.strFolder), CREATE_ALWAYS);
}

}  // namespace

std::wstring LogFilePath(const std::wstring& strFolder, int nAge) {
    return strFolder + (nAge == 0 ? std::wstring(L"ombra.log") : L"ombra." + std::to_wstring(nAge) + L".log");
}

bool LogOpen(const std::wstring& strFolder) {
    LogState& s = State();
    CLock lock(s.cs);
    CloseLocked(s);
    s.strFolder = strFolder;
    s.bOpened = true;
    s.hFile = OpenLogFile(LogFilePath(strFolder), OPEN_ALWAYS);
    if (s.hFile == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER li{};
    if (::GetFileSizeEx(s.hFile, &li)) s.nSize = static_cast<unsigned long long>(li.QuadPart);
    return true;
}

void LogClose() {
    LogState& s = State();
    CLock lock(s.cs);
    CloseLocked(s);
}

std::wstring LogFolder() {
    LogState& s = State();
    CLock lock(s.cs);
    return s.strFolder;
}

void LogLine(const wchar_t* pszFormat, ...) {
    LogState& s = State();
    if (!s.bOpened) return;  // not opened: nothing to pay for
    SYSTEMTIME st{};
    ::GetLocalTime(&st);
    wchar_t szLine[LOG_LINE_CHARS + 64];
    int nHead = _snwprintf(szLine, 64, L"%04u-%02u-%02u %02u:%02u:%02u.%03u [%lu] ", st.wYear, st.wMonth, st.wDay,
                           st.wHour, st.wMinute, st.wSecond, st.wMilliseconds, ::GetCurrentThreadId());
    if (nHead < 0) nHead = 0;
    va_list args;
    va_start(args, pszFormat);
    int nText = _vsnwprintf(szLine + nHead, LOG_LINE_CHARS, pszFormat, args);
    va_end(args);
    if (nText < 0 || nText > LOG_LINE_CHARS) nText = LOG_LINE_CHARS;
    std::wstring strLine;
    strLine.reserve(nHead + nText + 8);
    for (int i = 0; i < nHead + nText; ++i) {
        wchar_t c = szLine[i];
        if (c == L'\r') continue;
        if (c == L'\n') {
            strLine += L" / ";
            continue;
        }
        strLine += c;
    }
    while (!strLine.empty() && strLine.back() == L' ') strLine.pop_back();
    std::string line = WideToUtf8(strLine);
    line += "\r\n";

    CLock lock(s.cs);
    if (s.hFile != INVALID_HANDLE_VALUE && s.nSize > 0 && s.nSize + line.size() > LOG_MAX_BYTES) RotateLocked(s);
    if (s.hFile == INVALID_HANDLE_VALUE) return;
    DWORD dwWritten = 0;
    if (::WriteFile(s.hFile, line.data(), static_cast<DWORD>(line.size()), &dwWritten, nullptr)) s.nSize += dwWritten;
}
