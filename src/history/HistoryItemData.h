#pragma once
// What every row of the history tree carries, and the row texts worked out from it.
// The rows hold no text of their own: the tree draws each row from its item data.
#include <windows.h>

#include <string>

// Kinds of rows (m_nKind).
constexpr int ITEM_ROOT = 0;    // m_pData: the window's HistoryCounts (not owned by the row)
constexpr int ITEM_DAY = 1;     // m_pData: std::wstring, the group's reference time "%ld"
constexpr int ITEM_RECORD = 3;  // m_pData: RecordEntry, a copy of the recording's entry

// One day in seconds: recordings group with a day row less than this far away.
constexpr long long HISTORY_DAY_SECONDS = 86400;

// Call icon indexes in bitmap 1033, and row-action icons in bitmap 1034.
constexpr int CALLICON_OUTGOING = 0;
constexpr int CALLICON_INCOMING = 1;
constexpr int CALLICON_OUTGOING_NEW = 2;
constexpr int CALLICON_INCOMING_NEW = 3;
constexpr int ACTIONICON_DELETE_SELECTED = 0;
constexpr int ACTIONICON_DELETE = 1;
constexpr int ACTIONICON_FOLDER_SELECTED = 2;
constexpr int ACTIONICON_FOLDER = 3;

// Action spots of a recording row.
constexpr int ROWSPOT_NONE = 0;
constexpr int ROWSPOT_DELETE = 1;
constexpr int ROWSPOT_FOLDER = 2;

struct RecordEntry;

struct HistoryCounts {
    int m_nTotal = 0;
    int m_nNew = 0;
};

struct HistoryItemData {
    void* m_pData = nullptr;
    int m_nKind = ITEM_ROOT;

    HistoryCounts* Counts() const { return m_nKind == ITEM_ROOT ? (HistoryCounts*)m_pData : nullptr; }
    std::wstring* DayTime() const { return m_nKind == ITEM_DAY ? (std::wstring*)m_pData : nullptr; }
    RecordEntry* Entry() const { return m_nKind == ITEM_RECORD ? (RecordEntry*)m_pData : nullptr; }
};

// Builders and the matching release; a root row's counts belong to the window.
HistoryItemData* NewRootItemData(HistoryCounts* pCounts);
HistoryItemData* NewDayItemData(const std::wstring& strRefTime);
HistoryItemData* NewRecordItemData(const RecordEntry& entry);
void FreeItemData(HistoryItemData* pData);

// A time text as stored ("%ld"): base-10 string-to-long, widened; no digits give 0.
long long HistoryTimeFromText(const std::wstring& strTime);

// True when t lies less than 24 hours before or after the day row's reference time g.
bool IsSameDayGroup(long long t, long long g);

// "Today", "Yestoday" or the local date "%Y-%m-%d" of the reference time, by the
// number of whole days between it and now (midnight plays no role).
std::wstring FormatDayLabel(long long tNow, long long tRef);

// The local date "%Y-%m-%d" of a stored time; empty when it cannot be shown as local time.
std::wstring FormatRecordDate(const std::wstring& strTime);

// Local start time "%p %I:%M:%S"; empty when the time cannot be shown as local time.
std::wstring FormatStartTime(const std::wstring& strTime);

// "   %H:%M:%S" of a time span: hours within a day. Negative lengths show 00:00:00.
std::wstring FormatRecordLength(int nSeconds);

// The names line: the formatted display names, else the stored handles, else "Null".
std::wstring RecordNameText(const std::wstring& strDisplayNames, const std::wstring& strName);

// The tag of a recording one side of which was silent ("mic" or "remote"); empty for none.
std::wstring OneSidedMarkText(const std::wstring& strOneSided);

std::wstring FormatTotalText(int nTotal);  // "Total %d records"
std::wstring FormatNewText(int nNew);      // "%d new"

// Icon of bitmap 1033 for a call direction (1 incoming, 2 outgoing); -1 for none.
int CallIconIndex(int nType, bool bNew);

// Order of two recording rows: negative when a comes first. The newest comes first.
int CompareNewestFirst(long long tA, long long tB);

// Pixel geometry of a recording row, from the row rectangle and where its content starts.
struct RecordRowLayout {
    RECT rcIcon;       // 16x16 call icon at x0
    RECT rcName;       // from x0 + 20 over two fifths
    RECT rcTime;       // the next fifth
    RECT rcLength;     // the fifth after it
    RECT rcSelection;  // selected-row highlight: from 16 px right of the row's left edge
    RECT rcDeleteSpot; // 19 to 5 px before the right edge
    RECT rcFolderSpot; // 39 to 25 px before the right edge
    POINT ptDeleteIcon;
    POINT ptFolderIcon;
};
RecordRowLayout LayoutRecordRow(const RECT& rcRow, int x0, UINT nArtDpi = 96);

// Which action spot of a recording row the point lies in.
int HitTestRowSpot(const RECT& rcRow, POINT pt, UINT nArtDpi = 96);
