#pragma once
// UTF-8 / UTF-16 conversion, printf-style formatting, system error texts and debugger traces.
#include <string>
#include <string_view>

std::wstring Utf8ToWide(std::string_view str);
std::string WideToUtf8(std::wstring_view str);

// swprintf into a std::wstring of any length.
std::wstring FormatW(const wchar_t* pszFormat, ...);

// The system's text for an error code, as the system words it (line break included); empty when it has none.
std::wstring SystemErrorText(unsigned long dwError);

// One line to the debugger output (OutputDebugStringW); the caller supplies "\n".
void TraceW(const wchar_t* pszFormat, ...);
