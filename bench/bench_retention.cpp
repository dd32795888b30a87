// Retention over a record.xml of 10,000 entries whose files exist: the hourly pass
// when nothing is due, and the pass that sends the 1,000 oldest to the Recycle Bin
// and takes their entries out.
#include <windows.h>

#include <cstdio>
#include <ctime>
#include <string>

#include "app/Retention.h"
#include "BenchSupport.h"
#include "base/Com.h"
#include "base/StringUtil.h"
#include "history/RecordHistory.h"
#include "settings/GeneralProfile.h"

namespace {

// One entry an hour going back from now; every file is there, a few bytes long.
bool WriteHistory(const std::wstring& strXml, const std::wstring& strFolder, int nEntries, long tNow) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?><quern><list>";
    for (int i = 0; i < nEntries; ++i) {
        const long t = tNow - (nEntries - i) * 3600L;
        const std::wstring strFile = FormatW(L"%ls\\partner.%d_%d.mp3", strFolder.c_str(), i % 300, i);
        if (!WriteWholeFile(strFile, "ID3")) return false;
        xml += WideToUtf8(FormatW(L"<rec%08d%06d><name>partner.%d</name><time>%ld</time><file>%ls</file>"
                                  L"<type>1</type><duration>60</duration><new>false</new><note></note></rec%08d%06d>",
                                  20100512, i, i % 300, t, strFile.c_str(), 20100512, i));
    }
    xml += "</list></quern>";
    return WriteWholeFile(strXml, xml);
}

}  // namespace

int main() {
    CComInit com;
    constexpr int ENTRIES = 10000, DUE = 1000;
    wchar_t szTemp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, szTemp);
    const std::wstring strFolder = FormatW(L"%lsbench-retention-%lu", szTemp, ::GetCurrentProcessId());
    const std::wstring strXml = strFolder + L".xml";
    ::CreateDirectoryW(strFolder.c_str(), nullptr);
    const long tNow = static_cast<long>(time(nullptr));
    if (!WriteHistory(strXml, strFolder, ENTRIES, tNow)) {
        std::printf("cannot write %ls\n", strXml.c_str());
        return 1;
    }
    CRecordHistory store;
    store.Open(strXml);
    CGeneralProfile profile;
    profile.m_strFolder = strFolder;
    profile.m_nKeepMode = KEEP_DAYS;
    // Entries are 1 to 10,000 hours old: 375 days (9,000 hours) leave the 1,000 oldest past the limit.
    profile.m_nKeepDays = (ENTRIES - DUE) / 24;

    double t0 = Seconds();
    size_t nNothing = ApplyRetention(store, profile, tNow - DUE * 3600L, nullptr).size();
    const double tNothing = Seconds() - t0;
    t0 = Seconds();
    size_t nRemoved = ApplyRetention(store, profile, tNow, nullptr).size();
    const double tPass = Seconds() - t0;
    const int nLeft = store.GetCount();

    WIN32_FIND_DATAW fd{};
    HANDLE hFind = ::FindFirstFileW((strFolder + L"\\*.mp3").c_str(), &fd);
    if (hFind != INVALID_HANDLE_VALUE) {
        do ::DeleteFileW((strFolder + L"\\" + fd.cFileName).c_str());
        while (::FindNextFileW(hFind, &fd));
        ::FindClose(hFind);
    }
    ::RemoveDirectoryW(strFolder.c_str());
    ::DeleteFileW(strXml.c_str());
    if (nNothing != 0 || nRemoved != DUE || nLeft != ENTRIES - DUE) {
        std::printf("retention: %zu removed when nothing was due, %d left after %zu\n", nNothing, nLeft, nRemoved);
        return 1;
    }
    std::printf("retention_10k_nothing_due_ms: %.1f\n", tNothing * 1000.0);
    std::printf("retention_10k_removed: %zu\n", nRemoved);
    std::printf("retention_10k_pass_s: %.3f\n", tPass);
    return 0;
}
