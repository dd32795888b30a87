#include "app/RecordJournal.h"

#include <windows.h>

#include <cmath>
#include <cwchar>
#include <vector>

#include "audiofile/Mp3Info.h"
#include "base/File.h"
#include "base/Log.h"
#include "base/StringUtil.h"

namespace {

constexpr char JOURNAL_MAGIC[] = "ombra recording journal 1";
constexpr wchar_t JOURNAL_PREFIX[] = L"recording-";
constexpr wchar_t JOURNAL_EXT[] = L".journal";
// A journal is a few hundred bytes; anything much larger is not one.
constexpr LONGLONG JOURNAL_MAX_BYTES = 64 * 1024;

bool IsDecimal(const std::wstring& str) {
    size_t i = !str.empty() && str[0] == L'-' ? 1 : 0;
    if (i >= str.size() || str.size() > 12) return false;
    for (; i < str.size(); ++i)
        if (str[i] < L'0' || str[i] > L'9') return false;
    return true;
}

// Written beside the target, flushed, then put in place: a journal is whole or absent.
bool ReplaceWhole(const std::wstring& strPath, const std::string& data) {
    const std::wstring strTemp = strPath + L".tmp";
    bool bOk = WriteWholeFile(strTemp, data) == ERROR_SUCCESS &&
               ::MoveFileExW(strTemp.c_str(), strPath.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!bOk) ::DeleteFileW(strTemp.c_str());
    return bOk;
}

enum class RecordingFile { Present, Gone, OutOfReach };

bool FolderExists(const std::wstring& strPath) {
    DWORD dwAttr = ::GetFileAttributesW(strPath.c_str());
    return dwAttr != INVALID_FILE_ATTRIBUTES && (dwAttr & FILE_ATTRIBUTE_DIRECTORY);
}

// Gone only when its folder is there without it: a folder out of reach (a share,
// a drive or stick not back yet) may still hold it.
RecordingFile CheckRecordingFile(const std::wstring& strPath) {
    DWORD dwAttr = ::GetFileAttributesW(strPath.c_str());
    if (dwAttr != INVALID_FILE_ATTRIBUTES)
        return (dwAttr & FILE_ATTRIBUTE_DIRECTORY) ? RecordingFile::Gone : RecordingFile::Present;
    if (::GetLastError() != ERROR_FILE_NOT_FOUND) return RecordingFile::OutOfReach;
    size_t nSlash = strPath.find_last_of(L"\\/");
    if (nSlash == std::wstring::npos) return RecordingFile::OutOfReach;
    // With its backslash: "C:" alone is the drive's current folder, and a share's root needs it.
    return FolderExists(strPath.substr(0, nSlash + 1)) ? RecordingFile::Gone : RecordingFile::OutOfReach;
}

// The journal's text for an entry.
std::string FormatJournal(const RecordEntry& entry) {
    // One value a line: names and paths cannot hold a line break, and any that
    // slipped in is cut rather than allowed to start a line of its own.
    auto line = [](const char* pszKey, const std::wstring& strValue) {
        std::wstring strOne = strValue.substr(0, strValue.find_first_of(L"\r\n"));
        return std::string(pszKey) + "=" + WideToUtf8(strOne) + "\n";
    };
    return std::string(JOURNAL_MAGIC) + "\n" + line("file", entry.m_strFile) +
           line("name", entry.m_strName) + line("time", entry.m_strTime) +
           line("type", FormatW(L"%d", entry.m_nType));
}

// The entry of a journal's text; false for a damaged text.
bool ParseJournal(const std::string& strText, RecordEntry& entry) {
    std::wstring strWide = Utf8ToWide(strText);
    std::vector<std::wstring> lines;
    size_t nStart = 0;
    while (nStart < strWide.size()) {
        size_t nEnd = strWide.find(L'\n', nStart);
        if (nEnd == std::wstring::npos) return false;  // cut short while written
        lines.push_back(strWide.substr(nStart, nEnd - nStart));
        nStart = nEnd + 1;
    }
    if (lines.size() != 5 || lines[0] != Utf8ToWide(JOURNAL_MAGIC)) return false;
    const wchar_t* keys[] = {L"file=", L"name=", L"time=", L"type="};
    std::wstring values[4];
    for (int i = 0; i < 4; ++i) {
        if (lines[i + 1].rfind(keys[i], 0) != 0) return false;
        values[i] = lines[i + 1].substr(std::wcslen(keys[i]));
    }
    if (values[0].empty() || values[1].empty() || !IsDecimal(values[2])) return false;
    if (values[3] != L"1" && values[3] != L"2") return false;
    entry = RecordEntry();
    entry.m_strFile = values[0];
    entry.m_strName = values[1];
    entry.m_strTime = values[2];
    entry.m_nType = values[3][0] - L'0';
    entry.m_bNew = true;
    return true;
}

}  // namespace

bool CRecordJournal::Write(const RecordEntry& entry) {
    std::wstring strPath = m_strFolder + JOURNAL_PREFIX + entry.m_strTime + JOURNAL_EXT;
    if (!m_strPath.empty() && m_strPath != strPath) Remove();
    m_strPath = strPath;
    return ReplaceWhole(m_strPath, FormatJournal(entry));
}

void CRecordJournal::Remove() {
    if (m_strPath.empty()) return;
    ::DeleteFileW(m_strPath.c_str());
    m_strPath.clear();
}

int CRecordJournal::Recover(const std::wstring& strFolder, CRecordHistory& history,
                            const std::wstring& strSkip) {
    std::vector<std::wstring> paths;
    WIN32_FIND_DATAW fd{};
    std::wstring strPattern = strFolder + JOURNAL_PREFIX + L"*" + JOURNAL_EXT;
    HANDLE hFind = ::FindFirstFileW(strPattern.c_str(), &fd);
    if (hFind == INVALID_HANDLE_VALUE) return 0;
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) paths.push_back(strFolder + fd.cFileName);
    } while (::FindNextFileW(hFind, &fd));
    ::FindClose(hFind);

    int nAdded = 0;
    for (const std::wstring& strPath : paths) {
        if (!strSkip.empty() && _wcsicmp(strPath.c_str(), strSkip.c_str()) == 0) continue;
        std::string data;
        RecordEntry entry;
        if (ReadWholeFile(strPath, data, JOURNAL_MAX_BYTES) != ERROR_SUCCESS) continue;  // held by someone: next start
        const RecordingFile file =
            ParseJournal(data, entry) ? CheckRecordingFile(entry.m_strFile) : RecordingFile::Gone;
        if (file == RecordingFile::Gone) {
            ::DeleteFileW(strPath.c_str());
            continue;
        }
        if (file == RecordingFile::OutOfReach) continue;  // next start
        CXmlNode found;
        if (!history.SearchNode(entry.m_strName, entry.m_strTime, found)) {
            // A file that cannot be read now (held, or its share went away) is entered at a later start.
            double dSeconds = GetMp3Duration(entry.m_strFile);
            if (dSeconds < 0) continue;
            entry.m_nDuration = static_cast<int>(std::lround(dSeconds));
            if (!history.AddRecord(entry)) continue;
            LogLine(L"recording entered from its journal: %s, %d s", entry.m_strFile.c_str(), entry.m_nDuration);
            ++nAdded;
        }
        // Kept while the entry lives in memory only (record.xml locked or read-only).
        if (!history.HasUnsavedChanges()) ::DeleteFileW(strPath.c_str());
    }
    return nAdded;
}
