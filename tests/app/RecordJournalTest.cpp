// Journals left by a recorder that was killed, met at the next start with their
// files in every state a crash and a changed machine can leave them in.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "app/RecordJournal.h"
#include "base/Com.h"
#include "base/StringUtil.h"

namespace {

std::string Mp3Frames(int nFrames) {
    // MPEG-1 layer III, 64 kbit/s, 32 kHz: 288 bytes and 36 ms a frame.
    std::string frame(288, '\0');
    frame[0] = '\xFF';
    frame[1] = '\xFB';
    frame[2] = '\x58';
    std::string data;
    for (int i = 0; i < nFrames; ++i) data += frame;
    return data;
}

bool WriteFileBytes(const std::wstring& strPath, const std::string& data) {
    HANDLE h = ::CreateFileW(strPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD dw = 0;
    bool bOk = ::WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &dw, nullptr) && dw == data.size();
    ::CloseHandle(h);
    return bOk;
}

bool Exists(const std::wstring& strPath) { return ::GetFileAttributesW(strPath.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

// A file held without sharing and one on a drive that is not there keep their
// journals; a file missing from its existing folder drops its own. Once the held
// file is free, its entry comes in with the length of its whole frames.
TEST(RecordJournal, RecoveryWaitsForFilesOutOfReachAndDropsMissingOnes) {
    CComInit com;
    wchar_t szTemp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, szTemp);
    const std::wstring strFolder = std::wstring(szTemp) + FormatW(L"ombra-journal-%lu\\", ::GetCurrentProcessId());
    ::CreateDirectoryW(strFolder.c_str(), nullptr);
    wchar_t cDrive = L'Q';
    while (cDrive < L'Z' && (::GetLogicalDrives() & (1u << (cDrive - L'A')))) ++cDrive;

    // An ID3 tag longer than one read, frames across every read's end, and half a
    // frame where the writer was killed.
    std::string tag(70000, '\0');
    tag.replace(0, 6, "ID3\x03\x00\x00", 6);
    const int nTagBody = 70000 - 10;
    for (int i = 0; i < 4; ++i) tag[6 + i] = static_cast<char>((nTagBody >> (21 - 7 * i)) & 0x7F);
    const std::wstring strHeld = strFolder + L"held.mp3";
    ASSERT_TRUE(WriteFileBytes(strHeld, tag + Mp3Frames(1000) + Mp3Frames(1).substr(0, 144)));
    HANDLE hHold = ::CreateFileW(strHeld.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hHold, INVALID_HANDLE_VALUE);

    const struct {
        const wchar_t* pszTime;
        std::wstring strFile;
    } recordings[] = {
        {L"1700000001", strHeld},
        {L"1700000002", strFolder + L"gone.mp3"},
        {L"1700000003", std::wstring(1, cDrive) + L":\\Ombra\\away.mp3"},
    };
    for (const auto& r : recordings) {
        RecordEntry entry;
        entry.m_strName = L"carol";
        entry.m_strTime = r.pszTime;
        entry.m_strFile = r.strFile;
        entry.m_nType = 1;
        CRecordJournal journal(strFolder);
        ASSERT_TRUE(journal.Write(entry));
        journal.Leave();
    }
    auto journalOf = [&](int i) { return strFolder + L"recording-" + recordings[i].pszTime + L".journal"; };

    CRecordHistory history;
    history.Open(strFolder + L"record.xml");
    EXPECT_EQ(CRecordJournal::Recover(strFolder, history), 0);
    EXPECT_EQ(history.GetCount(), 0);
    EXPECT_TRUE(Exists(journalOf(0)));
    EXPECT_FALSE(Exists(journalOf(1)));
    EXPECT_TRUE(Exists(journalOf(2)));

    ::CloseHandle(hHold);
    EXPECT_EQ(CRecordJournal::Recover(strFolder, history), 1);
    RecordEntry entry;
    ASSERT_TRUE(history.GetRecord(0, entry));
    EXPECT_EQ(entry.m_strFile, strHeld);
    EXPECT_EQ(entry.m_strTime, L"1700000001");
    EXPECT_TRUE(entry.m_bNew);
    EXPECT_EQ(entry.m_nDuration, 36);  // 1000 frames of 1152 samples at 32 kHz
    EXPECT_FALSE(Exists(journalOf(0)));
    EXPECT_TRUE(Exists(journalOf(2)));

    for (const wchar_t* psz : {L"held.mp3", L"record.xml", L"recording-1700000003.journal"})
        ::DeleteFileW((strFolder + psz).c_str());
    EXPECT_TRUE(::RemoveDirectoryW(strFolder.c_str())) << "something else was left in the folder";
}
