#include "app/Retention.h"

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <ctime>
#include <cwchar>

#include "history/DlgRecHistory.h"
#include "settings/GeneralProfile.h"

namespace {
constexpr int64_t DAY_SECONDS = 86400;

bool FileSize(const std::wstring& strFile, uint64_t& nBytes) {
    WIN32_FILE_ATTRIBUTE_DATA fad{};
    if (!::GetFileAttributesExW(strFile.c_str(), GetFileExInfoStandard, &fad) ||
        (fad.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    nBytes = (static_cast<uint64_t>(fad.nFileSizeHigh) << 32) | fad.nFileSizeLow;
    return true;
}

bool Exists(const std::wstring& strFile) { return ::GetFileAttributesW(strFile.c_str()) != INVALID_FILE_ATTRIBUTES; }

// All files in one shell operation: one trip through the shell for any number.
// True when the shell reports every one of them done.
bool MoveToRecycleBin(const std::vector<std::wstring>& files) {
    if (files.empty()) return true;
    std::wstring strFrom;
    for (const std::wstring& strFile : files) strFrom.append(strFile).push_back(L'\0');
    strFrom.push_back(L'\0');
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = strFrom.c_str();
    // The bin, never gone for good without asking: where it cannot take a file the shell asks.
    op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_WANTNUKEWARNING | FOF_ALLOWUNDO | FOF_NOERRORUI;
    return ::SHFileOperationW(&op) == 0 && !op.fAnyOperationsAborted;
}
}  // namespace

bool IsInRecordFolder(const std::wstring& strFile, const std::wstring& strFolder) {
    std::wstring strDir = strFolder;
    while (!strDir.empty() && strDir.back() == L'\\') strDir.pop_back();
    if (strDir.empty() || strFile.size() <= strDir.size() + 1 || strFile[strDir.size()] != L'\\') return false;
    const std::wstring strLeaf = strFile.substr(strDir.size() + 1);
    if (strLeaf.find_first_of(L"\\/:*?\"<>|") != std::wstring::npos || strLeaf == L"." || strLeaf == L"..")
        return false;
    return ::CompareStringOrdinal(strFile.c_str(), (int)strDir.size(), strDir.c_str(), (int)strDir.size(), TRUE) ==
           CSTR_EQUAL;
}

std::vector<size_t> SelectExpired(const std::vector<RetentionItem>& items, int nKeepMode, int nKeepDays,
                                  int nKeepGigabytes, int64_t tNow) {
    std::vector<size_t> order;
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i].bInFolder) order.push_back(i);
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return items[a].tStart < items[b].tStart; });
    std::vector<size_t> expired;
    if (nKeepMode == KEEP_DAYS && nKeepDays > 0) {
        const int64_t tLimit = tNow - static_cast<int64_t>(nKeepDays) * DAY_SECONDS;
        for (size_t i : order)
            if (items[i].tStart < tLimit) expired.push_back(i);
    } else if (nKeepMode == KEEP_SIZE && nKeepGigabytes > 0) {
        const uint64_t nLimit = static_cast<uint64_t>(nKeepGigabytes) << 30;
        uint64_t nTotal = 0;
        for (size_t i : order) nTotal += items[i].nBytes;
        for (size_t i : order) {
            if (nTotal <= nLimit) break;
            expired.push_back(i);
            nTotal -= items[i].nBytes;
        }
    }
    return expired;
}

std::vector<RecordEntry> ApplyRetention(CRecordHistory& history, const CGeneralProfile& profile, int64_t tNow,
                                        const std::function<bool(const std::wstring&)>& isBusy) {
    if (profile.m_nKeepMode != KEEP_DAYS && profile.m_nKeepMode != KEEP_SIZE) return {};
    std::vector<RecordEntry> entries;
    std::vector<RetentionItem> items;
    std::vector<bool> exists;
    const int nCount = history.GetCount();
    for (int i = 0; i < nCount; ++i) {
        RecordEntry entry;
        if (!history.GetRecord(i, entry)) continue;
        RetentionItem item;
        // A time that reads as nothing is no age: such an entry is never old.
        item.tStart = entry.m_strTime.empty() ? tNow : std::wcstoll(entry.m_strTime.c_str(), nullptr, 10);
        item.bInFolder = IsInRecordFolder(entry.m_strFile, profile.m_strFolder) && !(isBusy && isBusy(entry.m_strFile));
        exists.push_back(item.bInFolder && FileSize(entry.m_strFile, item.nBytes));
        entries.push_back(std::move(entry));
        items.push_back(item);
    }
    std::vector<size_t> expired =
        SelectExpired(items, profile.m_nKeepMode, profile.m_nKeepDays, profile.m_nKeepGigabytes, tNow);
    std::vector<std::wstring> files;
    for (size_t i : expired)
        if (exists[i]) files.push_back(entries[i].m_strFile);
    // Asking for a missing name costs Wine a scan of the folder: ask only when the shell kept some.
    const bool bAllMoved = MoveToRecycleBin(files);
    // An entry goes only once its file is in the bin: one the shell kept stays listed.
    std::vector<RecordEntry> removed;
    for (size_t i : expired)
        if (bAllMoved || !Exists(entries[i].m_strFile)) removed.push_back(entries[i]);
    if (!removed.empty() && history.DeleteRecords(removed) <= 0) return {};
    return removed;
}

void RunRetention(CRecordHistory& history, CDlgRecHistory* pWindow, const CGeneralProfile& profile,
                  const std::wstring& strRecordingFile) {
    HistoryItemData* pPlaying = pWindow ? pWindow->GetCurrentRecord() : nullptr;
    const std::wstring strPlaying = pPlaying && pPlaying->Entry() ? pPlaying->Entry()->m_strFile : std::wstring();
    auto isBusy = [&](const std::wstring& strFile) {
        return (!strRecordingFile.empty() && _wcsicmp(strFile.c_str(), strRecordingFile.c_str()) == 0) ||
               (!strPlaying.empty() && _wcsicmp(strFile.c_str(), strPlaying.c_str()) == 0);
    };
    std::vector<RecordEntry> removed = ApplyRetention(history, profile, static_cast<int64_t>(time(nullptr)), isBusy);
    if (pWindow && pWindow->m_hWnd) pWindow->RemoveRecordItems(removed);
}
