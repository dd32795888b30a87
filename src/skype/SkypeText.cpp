#include "skype/SkypeText.h"

#include <climits>
#include <cwctype>

std::wstring TrimWhite(std::wstring_view str) {
    size_t nBegin = 0, nEnd = str.size();
    while (nBegin < nEnd && std::iswspace(str[nBegin])) ++nBegin;
    while (nEnd > nBegin && std::iswspace(str[nEnd - 1])) --nEnd;
    return std::wstring(str.substr(nBegin, nEnd - nBegin));
}

std::wstring ToLowerW(std::wstring_view str) {
    std::wstring strOut(str);
    for (wchar_t& ch : strOut) ch = (wchar_t)std::towlower(ch);
    return strOut;
}

std::wstring ToUpperW(std::wstring_view str) {
    std::wstring strOut(str);
    for (wchar_t& ch : strOut) ch = (wchar_t)std::towupper(ch);
    return strOut;
}

bool EqualsNoCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::towlower(a[i]) != std::towlower(b[i])) return false;
    }
    return true;
}

int ParseLeadingInt(std::wstring_view str) {
    size_t i = 0;
    while (i < str.size() && std::iswspace(str[i])) ++i;
    long long nValue = 0;
    for (; i < str.size() && str[i] >= L'0' && str[i] <= L'9'; ++i) {
        nValue = nValue * 10 + (str[i] - L'0');
        if (nValue > INT_MAX) nValue = (long long)INT_MAX + 1;  // saturate, keep scanning
    }
    return nValue > INT_MAX ? INT_MAX : (int)nValue;
}
