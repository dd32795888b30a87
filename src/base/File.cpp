#include "base/File.h"

DWORD ReadWholeFile(const std::wstring& strPath, std::string& data, LONGLONG nMaxBytes) {
    data.clear();
    HANDLE hFile = ::CreateFileW(strPath.c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) return ::GetLastError();
    DWORD dwError = ERROR_SUCCESS;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(hFile, &size) || size.QuadPart > nMaxBytes) {
        dwError = ERROR_FILE_TOO_LARGE;
    } else {
        data.resize(static_cast<size_t>(size.QuadPart));
        size_t nDone = 0;
        while (nDone < data.size()) {
            DWORD dwRead = 0;
            if (!::ReadFile(hFile, &data[nDone], static_cast<DWORD>(data.size() - nDone), &dwRead,
                            nullptr)) {
                dwError = ::GetLastError();  // a range locked by another program
                break;
            }
            if (dwRead == 0) break;
            nDone += dwRead;
        }
        data.resize(nDone);
    }
    ::CloseHandle(hFile);
    return dwError;
}

DWORD WriteWholeFile(const std::wstring& strPath, const std::string& data) {
    HANDLE hFile = ::CreateFileW(strPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) return ::GetLastError();
    DWORD dwError = ERROR_SUCCESS;
    DWORD dwWritten = 0;
    if (!data.empty() &&
        (!::WriteFile(hFile, data.data(), static_cast<DWORD>(data.size()), &dwWritten, nullptr) ||
         dwWritten != data.size()))
        dwError = ::GetLastError() ? ::GetLastError() : ERROR_WRITE_FAULT;
    if (dwError == ERROR_SUCCESS && !::FlushFileBuffers(hFile)) dwError = ::GetLastError();
    ::CloseHandle(hFile);
    return dwError;
}
