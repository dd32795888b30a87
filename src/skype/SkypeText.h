#pragma once
// Text helpers of the Skype link: Skype's words are compared after the C
// library's case mapping, and white space is whatever iswspace accepts.
#include <string>
#include <string_view>

std::wstring TrimWhite(std::wstring_view str);
std::wstring ToLowerW(std::wstring_view str);
std::wstring ToUpperW(std::wstring_view str);
bool EqualsNoCase(std::wstring_view a, std::wstring_view b);
// Leading decimal digits (after optional white space) as an int; 0 when
// there are none, so a sign stops the number. Saturates instead of overflowing.
int ParseLeadingInt(std::wstring_view str);
