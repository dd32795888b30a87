#include "history/HistoryItemData.h"

#include <cwchar>
#include <ctime>

#include "base/StringUtil.h"
#include "history/RecordHistory.h"

HistoryItemData* NewRootItemData(HistoryCounts* pCounts) {
    return new HistoryItemData{pCounts, ITEM_ROOT};
}

HistoryItemData* NewDayItemData(const std::wstring& strRefTime) {
    return new HistoryItemData{new std::wstring(strRefTime), ITEM_DAY};
}

HistoryItemData* NewRecordItemData(const RecordEntry& entry) {
    return new HistoryItemData{new RecordEntry(entry), ITEM_RECORD};
}

void FreeItemData(HistoryItemData* pData) {
    if (!pData) return;
    delete pData->DayTime();
    delete pData->Entry();
    delete pData;
}

long long HistoryTimeFromText(const std::wstring& strTime) {
    return (long long)std::wcstol(strTime.c_str(), nullptr, 10);
}

bool IsSameDayGroup(long long t, long long g) { return (t - g) / HISTORY_DAY_SECONDS == 0; }

static std::wstring FormatLocalTime(long long t, const wchar_t* pszFormat) {
    __time64_t t64 = (__time64_t)t;
    struct tm tmLocal = {};
    // The C runtime refuses times before 1970 and far in the future; show nothing then.
    if (_localtime64_s(&tmLocal, &t64) != 0) return std::wstring();
    wchar_t szBuf[64] = {};
    size_t n = std::wcsftime(szBuf, 64, pszFormat, &tmLocal);
    return std::wstring(szBuf, n);
}

std::wstring FormatDayLabel(long long tNow, long long tRef) {
    long long nDays = (tNow - tRef) / HISTORY_DAY_SECONDS;
    if (nDays < 1) return L"Today";
    if (nDays == 1) return L"Yestoday";
    return FormatLocalTime(tRef, L"%Y-%m-%d");
}

std::wstring FormatRecordDate(const std::wstring& strTime) {
    return FormatLocalTime(HistoryTimeFromText(strTime), L"%Y-%m-%d");
}

std::wstring FormatStartTime(const std::wstring& strTime) {
    return FormatLocalTime(HistoryTimeFromText(strTime), L"%p %I:%M:%S");
}

std::wstring FormatRecordLength(int nSeconds) {
    if (nSeconds < 0) nSeconds = 0;
    int nHours = (nSeconds / 3600) % 24;
    int nMinutes = (nSeconds / 60) % 60;
    return FormatW(L"   %02d:%02d:%02d", nHours, nMinutes, nSeconds % 60);
}

std::wstring RecordNameText(const std::wstring& strDisplayNames, const std::wstring& strName) {
    if (!strDisplayNames.empty()) return strDisplayNames;
    if (!strName.empty()) return strName;
    return L"Null";
}

std::wstring FormatTotalText(int nTotal) { return FormatW(L"Total %d records", nTotal); }
std::wstring FormatNewText(int nNew) { return FormatW(L"%d new", nNew); }

int CallIconIndex(int nType, bool bNew) {
    if (nType == 1) return bNew ? CALLICON_INCOMING_NEW : CALLICON_INCOMING;
    if (nType == 2) return bNew ? CALLICON_OUTGOING_NEW : CALLICON_OUTGOING;
    return -1;
}

int CompareNewestFirst(long long tA, long long tB) {
    if (tA > tB) return -1;
    if (tA < tB) return 1;
    return 0;
}

std::wstring OneSidedMarkText(const std::wstring& strOneSided) {
    if (strOneSided == L"mic") return L"mic silent";
    if (strOneSided == L"remote") return L"other side silent";
    return {};
}

RecordRowLayout LayoutRecordRow(const RECT& rcRow, int x0, UINT nArtDpi) {
    auto s = [nArtDpi](LONG n) { return static_cast<LONG>(::MulDiv(n, static_cast<int>(nArtDpi), 96)); };
    RecordRowLayout l = {};
    const LONG w = (rcRow.right - x0) / 5;
    const LONG top = rcRow.top, bottom = rcRow.bottom;
    const LONG yIcon16 = top + (bottom - top - s(16)) / 2;
    const LONG yIcon14 = top + (bottom - top - s(14)) / 2;
    l.rcIcon = {x0, yIcon16, x0 + s(16), yIcon16 + s(16)};
    const LONG xName = x0 + s(20);
    l.rcName = {xName, top, xName + 2 * w, bottom};
    l.rcTime = {l.rcName.right, top, l.rcName.right + w, bottom};
    l.rcLength = {l.rcTime.right, top, l.rcTime.right + w, bottom};
    l.rcSelection = {rcRow.left + s(16), top, rcRow.right, bottom};
    l.rcDeleteSpot = {rcRow.right - s(19), top, rcRow.right - s(5), bottom};
    l.rcFolderSpot = {rcRow.right - s(39), top, rcRow.right - s(25), bottom};
    l.ptDeleteIcon = {rcRow.right - s(19), yIcon14};
    l.ptFolderIcon = {rcRow.right - s(39), yIcon14};
    return l;
}

int HitTestRowSpot(const RECT& rcRow, POINT pt, UINT nArtDpi) {
    if (pt.y < rcRow.top || pt.y >= rcRow.bottom) return ROWSPOT_NONE;
    RecordRowLayout l = LayoutRecordRow(rcRow, rcRow.left, nArtDpi);
    if (::PtInRect(&l.rcDeleteSpot, pt)) return ROWSPOT_DELETE;
    if (::PtInRect(&l.rcFolderSpot, pt)) return ROWSPOT_FOLDER;
    return ROWSPOT_NONE;
}
