#include "history/HistoryFilter.h"

#include <windows.h>

#include "history/HistoryItemData.h"
#include "history/RecordHistory.h"

std::wstring FoldCase(const std::wstring& str) {
    std::wstring strFolded = str;
    if (!strFolded.empty()) ::CharLowerBuffW(strFolded.data(), (DWORD)strFolded.size());
    return strFolded;
}

std::wstring MakeFilterText(const std::wstring& strTyped) {
    const wchar_t* pszBlanks = L" \t\r\n";
    size_t nBegin = strTyped.find_first_not_of(pszBlanks);
    if (nBegin == std::wstring::npos) return std::wstring();
    size_t nEnd = strTyped.find_last_not_of(pszBlanks);
    return FoldCase(strTyped.substr(nBegin, nEnd - nBegin + 1));
}

std::wstring BuildSearchKey(const RecordEntry& entry, const std::wstring& strShownNames) {
    // A line break cannot be typed into the box: no match runs from one part into the next.
    return FoldCase(entry.m_strName + L"\n" + strShownNames + L"\n" + FormatRecordDate(entry.m_strTime));
}

bool MatchesFilter(const std::wstring& strFolded, const std::wstring& strFilter) {
    return strFilter.empty() || strFolded.find(strFilter) != std::wstring::npos;
}
