#pragma once
// What the benchmark programs share: a clock and writing a prepared file.
#include <windows.h>

#include <string>

inline double Seconds() {
    LARGE_INTEGER f, c;
    ::QueryPerformanceFrequency(&f);
    ::QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

// Creates or replaces the file with exactly these bytes.
inline bool WriteWholeFile(const std::wstring& strPath, const std::string& data) {
    HANDLE h = ::CreateFileW(strPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD n = 0;
    bool bOk = ::WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &n, nullptr) != 0 && n == data.size();
    ::CloseHandle(h);
    return bOk;
}
