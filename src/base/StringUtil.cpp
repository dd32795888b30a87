#include "base/StringUtil.h"

#include <windows.h>

#include <cstdarg>
#include <cwchar>
#include <vector>

std::wstring Utf8ToWide(std::string_view str) {
    if (str.empty()) return {};
    int n = ::MultiByteToWideChar(CP_UTF8, 0, str.data(), static_cast<int>(str.size()), nullptr, 0);
    if (n <= 0) return {};
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, str.data(), static_cast<int>(str.size()), out.data(), n);
    return out;
}

std::string WideToUtf8(std::wstring_view str) {
    if (str.empty()) return {};
    int n = ::WideCharToMultiByte(CP_UTF8, 0, str.data(), static_cast<int>(str.size()), nullptr, 0,
                                  nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, str.data(), static_cast<int>(str.size()), out.data(), n,
                          nullptr, nullptr);
    return out;
}

static std::wstring VFormatW(const wchar_t* pszFormat, va_list args) {
    std::vector<wchar_t> buf(256);
    for (;;) {
        va_list copy;
        va_copy(copy, args);
        int n = _vsnwprintf(buf.data(), buf.size(), pszFormat, copy);
        va_end(copy);
        if (n >= 0 && static_cast<size_t>(n) < buf.size()) return std::wstring(buf.data(), n);
        if (buf.size() > (1u << 24)) return std::wstring();
        buf.resize(buf.size() * 2);
    }
}

std::wstring FormatW(const wchar_t* pszFormat, ...) {
    va_list args;
    va_start(args, pszFormat);
    std::wstring s = VFormatW(pszFormat, args);
    va_end(args);
    return s;
}

std::wstring SystemErrorText(unsigned long dwError) {
    wchar_t* pszText = nullptr;
    DWORD dwLen = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        dwError, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&pszText), 0, nullptr);
    std::wstring strText = dwLen && pszText ? std::wstring(pszText, dwLen) : std::wstring();
    if (pszText) ::LocalFree(pszText);
    return strText;
}

void TraceW(const wchar_t* pszFormat, ...) {
    va_list args;
    va_start(args, pszFormat);
    std::wstring s = VFormatW(pszFormat, args);
    va_end(args);
    ::OutputDebugStringW(s.c_str());
}
