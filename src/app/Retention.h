#pragma once
// Keeping recordings for a while ("keepmode", "keepdays", "keepgb"): what is past
// the limit goes to the Recycle Bin with its history entry, oldest first. Only
// files right in the recording folder are ever touched.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "history/RecordHistory.h"

class CGeneralProfile;
class CDlgRecHistory;

// What the choice needs to know of one history entry.
struct RetentionItem {
    int64_t tStart = 0;      // seconds since 1970 UTC
    uint64_t nBytes = 0;     // the file's size, 0 when it is gone
    bool bInFolder = false;  // the file lies right in the recording folder
};

// Indexes of the items past the limit, oldest first. Items outside the folder
// neither go nor count; the size limit is reached by taking the oldest away.
std::vector<size_t> SelectExpired(const std::vector<RetentionItem>& items, int nKeepMode, int nKeepDays,
                                  int nKeepGigabytes, int64_t tNow);

// A full file name lies directly in the folder (no subfolder, no "..", any letter case).
bool IsInRecordFolder(const std::wstring& strFile, const std::wstring& strFolder);

// One pass over the history: files past the limit go to the Recycle Bin in one shell
// operation, and the entries of those that went (or were gone already) leave the
// store. isBusy names a file that must stay (the one playing); the entries
// removed are returned.
std::vector<RecordEntry> ApplyRetention(CRecordHistory& history, const CGeneralProfile& profile, int64_t tNow,
                                        const std::function<bool(const std::wstring&)>& isBusy);

// The pass the main window runs at start and every hour: the file being recorded and
// the one the player holds stay; the history window loses the rows that went.
void RunRetention(CRecordHistory& history, CDlgRecHistory* pWindow, const CGeneralProfile& profile,
                  const std::wstring& strRecordingFile);
