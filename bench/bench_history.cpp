// record.xml with 10,000 entries: start-up reading (Open, GetCount, every
// GetRecord), one AddRecord with its save, and the file's size. Then the history
// window with those entries: filling it, and its filter box typed into, a key at a time.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "../resources/ids_history.h"
#include "BenchSupport.h"
#include "base/Com.h"
#include "base/StringUtil.h"
#include "history/DlgRecHistory.h"
#include "history/RecordHistory.h"

namespace {

// The file as years of use leave it: one element per call, written in the store's format.
bool WriteHistory(const std::wstring& strPath, int nEntries) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?><quern><list>";
    for (int i = 0; i < nEntries; ++i) {
        long t = 1273656615L + i * 3600L;
        std::wstring strName = FormatW(L"partner.%d", i % 300);
        std::wstring rec = FormatW(
            L"<rec%08d%06d><name>%ls</name><time>%ld</time>"
            L"<file>C:\\users\\me\\Documents\\Ombra\\%ls_2010-05-12_11-30-15.mp3</file>"
            L"<type>%d</type><duration>%d</duration><new>%ls</new><note>%ls</note></rec%08d%06d>",
            20100512, i, strName.c_str(), t, strName.c_str(), 1 + i % 2, 30 + i % 3000,
            i % 7 ? L"false" : L"true", i % 10 ? L"" : L"call backalineddtomorrow", 20100512, i);
        xml += WideToUtf8(rec);
    }
    xml += "</list></quern>";
    return WriteWholeFile(strPath, xml);
}

// Milliseconds each key takes in the filter box, from the key to the tree shown anew.
std::vector<double> TypeKeys(HWND hFilter, const std::wstring& strKeys) {
    std::vector<double> times;
    for (wchar_t c : strKeys) {
        double t0 = Seconds();
        ::SendMessageW(hFilter, WM_CHAR, c, 0);
        times.push_back((Seconds() - t0) * 1000.0);
    }
    return times;
}

}  // namespace

int main() {
    CComInit com;
    constexpr int ENTRIES = 10000;
    wchar_t szTemp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, szTemp);
    const std::wstring strPath =
        FormatW(L"%lsbench-record-%lu.xml", szTemp, ::GetCurrentProcessId());
    if (!WriteHistory(strPath, ENTRIES)) {
        std::printf("cannot write %ls\n", strPath.c_str());
        return 1;
    }

    double t0 = Seconds();
    CRecordHistory store;
    store.Open(strPath);
    int nCount = store.GetCount();
    int nRead = 0;
    RecordEntry entry;
    for (int i = 0; i < nCount; ++i)
        if (store.GetRecord(i, entry)) ++nRead;
    double tStartup = Seconds() - t0;
    if (nCount != ENTRIES || nRead != ENTRIES) {
        std::printf("read %d of %d entries\n", nRead, nCount);
        return 1;
    }

    RecordEntry added;
    added.m_strName = L"new.partner";
    added.m_strTime = L"2000000000";
    added.m_strFile = L"C:\\users\\me\\Documents\\Ombra\\new.partner_2033-05-18_05-33-20.mp3";
    added.m_nType = 2;
    added.m_nDuration = 61;
    t0 = Seconds();
    bool bAdded = store.AddRecord(added);
    double tAdd = Seconds() - t0;

    WIN32_FILE_ATTRIBUTE_DATA fad = {};
    ::GetFileAttributesExW(strPath.c_str(), GetFileExInfoStandard, &fad);
    double kb =
        static_cast<double>((static_cast<ULONGLONG>(fad.nFileSizeHigh) << 32) | fad.nFileSizeLow) /
        1024.0;
    ::DeleteFileW(strPath.c_str());
    if (!bAdded) {
        std::printf("AddRecord failed\n");
        return 1;
    }
    // The window as the main window fills it at start-up, shown, then searched.
    CDlgRecHistory dlg;
    if (!dlg.Create(nullptr)) {
        std::printf("no history window\n");
        return 1;
    }
    t0 = Seconds();
    std::vector<RecordEntry> entries(static_cast<size_t>(nCount));
    for (int i = 0; i < nCount; ++i) store.GetRecord(i, entries[static_cast<size_t>(i)]);
    dlg.AddRecordItems(entries);
    double tFill = Seconds() - t0;
    dlg.SetWindowPos(HWND_TOP, 0, 0, 560, 420, SWP_SHOWWINDOW | SWP_NOACTIVATE);
    HWND hFilter = dlg.GetDlgItem(IDC_HISTORY_FILTER);
    // A partner's handle (every key narrows: the first keeps all 10,000), then a date.
    std::vector<double> keys = TypeKeys(hFilter, L"partner.12");
    const int nFound = dlg.GetCounts().m_nTotal;
    t0 = Seconds();
    ::SendMessageW(hFilter, WM_KEYDOWN, VK_ESCAPE, 0);
    double tClear = (Seconds() - t0) * 1000.0;
    std::vector<double> dateKeys = TypeKeys(hFilter, L"2010-06-1");
    keys.insert(keys.end(), dateKeys.begin(), dateKeys.end());
    double dSum = 0;
    for (double d : keys) dSum += d;
    dlg.DestroyWindow();

    std::printf("history_10k_startup_s: %.3f\n", tStartup);
    std::printf("history_10k_add_ms: %.1f\n", tAdd * 1000.0);
    std::printf("history_10k_file_kb: %.0f\n", kb);
    std::printf("history_10k_window_fill_s: %.3f\n", tFill);
    std::printf("history_10k_filter_key_mean_ms: %.1f\n", dSum / (double)keys.size());
    std::printf("history_10k_filter_key_max_ms: %.1f\n", *std::max_element(keys.begin(), keys.end()));
    std::printf("history_10k_filter_first_key_ms: %.1f\n", keys[0]);
    std::printf("history_10k_filter_escape_ms: %.1f\n", tClear);
    std::printf("history_10k_filter_found: %d\n", nFound);
    return 0;
}
