// The record.xml store over Wine's real MSXML, checked through the file's bytes.
#include <gtest/gtest.h>

#include <cstdlib>

#include "HistoryTestSupport.h"
#include "base/Com.h"
#include "base/StringUtil.h"
#include "history/RecordHistory.h"

namespace {

const char DECLARATION[] = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>";

time_t s_tFixed = 0;
time_t FixedClock() { return s_tFixed; }

RecordEntry MakeEntry(const std::wstring& strName, const std::wstring& strTime) {
    RecordEntry e;
    e.m_strName = strName;
    e.m_strTime = strTime;
    e.m_strFile = L"C:\\Rec\\" + strName + L"_2010-05-12_11-30-15.mp3";
    e.m_nType = 1;
    e.m_nDuration = 65;
    return e;
}

std::string FileText(const std::wstring& strPath) {
    std::string data;
    ReadBytes(strPath, data);
    return data;
}

class HistoryStore : public ::testing::Test {
protected:
    void SetUp() override { m_strPath = m_dir.File(L"record.xml"); }
    void TearDown() override { CRecordHistory::SetClock(nullptr); }

    // Writes a record.xml by hand, the way a stored file may look.
    void WriteFile(const std::string& strBody) {
        ASSERT_TRUE(WriteBytes(m_strPath, std::string(DECLARATION) + strBody));
    }

    CComInit m_com;
    CScratchFolder m_dir;
    std::wstring m_strPath;
};

}  // namespace

TEST_F(HistoryStore, NoFileGivesNoEntriesAndTheFirstAddCreatesIt) {
    CRecordHistory store;
    store.Open(m_strPath);
    EXPECT_EQ(store.GetPath(), m_strPath);
    EXPECT_EQ(store.GetCount(), 0);
    EXPECT_FALSE(FileExists(m_strPath));

    s_tFixed = 1273656615;  // 2010-05-12 09:30:15 UTC
    CRecordHistory::SetClock(FixedClock);
    RecordEntry e = MakeEntry(L"alice", L"1273656615");
    ASSERT_TRUE(store.AddRecord(e));
    EXPECT_EQ(store.GetCount(), 1);
    std::string data = FileText(m_strPath);
    EXPECT_EQ(data.rfind(DECLARATION, 0), 0u) << data;
    EXPECT_NE(data.find("<quern><list><rec20100512093015><name>alice</name><time>1273656615</time>"
                        "<file>C:\\Rec\\alice_2010-05-12_11-30-15.mp3</file><type>1</type>"
                        "<duration>65</duration><new>true</new><note/></rec20100512093015>"
                        "</list></quern>"),
              std::string::npos)
        << data;
}

TEST_F(HistoryStore, DefaultEntryHoldsNoDirectionAndIsNew) {
    RecordEntry e;
    EXPECT_EQ(e.m_nType, 3);
    EXPECT_TRUE(e.m_bNew);
    EXPECT_EQ(e.m_nDuration, 0);
    EXPECT_TRUE(e.m_strName.empty() && e.m_strTime.empty() && e.m_strFile.empty() &&
                e.m_strNote.empty());
}

TEST_F(HistoryStore, DuplicatesAreRefusedInAnyLetterCase) {
    CRecordHistory store;
    store.Open(m_strPath);
    ASSERT_TRUE(store.AddRecord(MakeEntry(L"Alice.Smith", L"1273656615")));
    std::string before = FileText(m_strPath);
    EXPECT_FALSE(store.AddRecord(MakeEntry(L"ALICE.SMITH", L"1273656615")));
    EXPECT_FALSE(store.AddRecord(MakeEntry(L"alice.smith", L"1273656615")));
    EXPECT_EQ(FileText(m_strPath), before);
    EXPECT_EQ(store.GetCount(), 1);
    // Letter case beyond ASCII counts too.
    ASSERT_TRUE(store.AddRecord(MakeEntry(L"zo\u00eb", L"1")));
    EXPECT_FALSE(store.AddRecord(MakeEntry(L"ZO\u00cb", L"1")));
    // Same name at another time is another call.
    EXPECT_TRUE(store.AddRecord(MakeEntry(L"alice.smith", L"1273656700")));
    EXPECT_EQ(store.GetCount(), 3);
}

TEST_F(HistoryStore, MissingAndOddFieldsReadAsDefaultsAndAreWrittenBack) {
    WriteFile(
        "<quern><list>"
        "<rec20100512093015><name>bob</name><time>100</time><file>C:\\b.mp3</file></"
        "rec20100512093015>"
        "<rec20100512093016><name>carol</name><time>200</time><type>x1</type><new>TRUE</new>"
        "<duration> 42abc</duration></rec20100512093016>"
        "</list></quern>");
    CRecordHistory store;
    store.Open(m_strPath);
    ASSERT_EQ(store.GetCount(), 2);

    RecordEntry bob;
    ASSERT_TRUE(store.GetRecord(0, bob));
    EXPECT_EQ(bob.m_strName, L"bob");
    EXPECT_EQ(bob.m_strFile, L"C:\\b.mp3");
    EXPECT_EQ(bob.m_nType, 0);
    EXPECT_EQ(bob.m_nDuration, 0);
    EXPECT_FALSE(bob.m_bNew);
    EXPECT_EQ(bob.m_strNote, L"");

    RecordEntry carol;
    ASSERT_TRUE(store.GetRecord(1, carol));
    EXPECT_EQ(carol.m_nType, 0);
    EXPECT_TRUE(carol.m_bNew);
    EXPECT_EQ(carol.m_nDuration, 42);
    EXPECT_EQ(carol.m_strFile, L"");

    // Reading alone never saves.
    std::string before = FileText(m_strPath);
    EXPECT_EQ(before.find("<type>0</type>"), std::string::npos);

    // Any save writes the defaults created while reading.
    ASSERT_TRUE(store.MarkRecordRead(L"carol", L"200"));
    std::string after = FileText(m_strPath);
    EXPECT_NE(after.find("<rec20100512093015><name>bob</name><time>100</time><file>C:\\b.mp3</file>"
                         "<type>0</type><new>false</new><duration>0</duration><note/>"
                         "</rec20100512093015>"),
              std::string::npos)
        << after;
    EXPECT_NE(after.find("<type>x1</type><new>false</new><duration> 42abc</duration>"),
              std::string::npos)
        << after;
}

TEST_F(HistoryStore, OneSidedMarkIsAnAttributeThatOlderEntriesLack) {
    WriteFile(
        "<quern><list>"
        "<rec20100512093015 onesided=\"remote\"><name>bob</name><time>100</time></rec20100512093015>"
        "<rec20100512093016><name>carol</name><time>200</time></rec20100512093016>"
        "</list></quern>");
    CRecordHistory store;
    store.Open(m_strPath);
    RecordEntry bob, carol;
    ASSERT_TRUE(store.GetRecord(0, bob));
    ASSERT_TRUE(store.GetRecord(1, carol));
    EXPECT_EQ(bob.m_strOneSided, L"remote");
    EXPECT_EQ(carol.m_strOneSided, L"");

    s_tFixed = 1273656615;
    CRecordHistory::SetClock(FixedClock);
    RecordEntry e = MakeEntry(L"alice", L"1273656615");
    e.m_strOneSided = L"mic";
    ASSERT_TRUE(store.AddRecord(e));
    std::string data = FileText(m_strPath);
    // The fields stay element text, as every earlier version reads them.
    EXPECT_NE(data.find("<rec20100512093015_2 onesided=\"mic\"><name>alice</name>"), std::string::npos) << data;
    EXPECT_NE(data.find("<rec20100512093016><name>carol</name>"), std::string::npos) << data;
    RecordEntry back;
    ASSERT_TRUE(store.GetRecord(2, back));
    EXPECT_EQ(back.m_strOneSided, L"mic");
}

TEST_F(HistoryStore, NotesKeepTheirLineBreaksAsAlinedd) {
    CRecordHistory store;
    store.Open(m_strPath);
    RecordEntry two = MakeEntry(L"dave", L"300");
    two.m_strNote = L"first line\r\nsecond line";
    ASSERT_TRUE(store.AddRecord(two));
    EXPECT_NE(FileText(m_strPath).find("<note>first linealineddsecond line</note>"),
              std::string::npos);
    RecordEntry word = MakeEntry(L"erin", L"301");
    word.m_strNote = L"the word alinedd itself";
    ASSERT_TRUE(store.AddRecord(word));

    CRecordHistory reopened;
    reopened.Open(m_strPath);
    RecordEntry e;
    ASSERT_TRUE(reopened.GetRecord(0, e));
    EXPECT_EQ(e.m_strNote, L"first line\r\nsecond line");
    ASSERT_TRUE(reopened.GetRecord(1, e));
    EXPECT_EQ(e.m_strNote, L"the word \r\n itself");
}

TEST_F(HistoryStore, ReadingPastTheEndFailsWithTrace) {
    CRecordHistory store;
    store.Open(m_strPath);
    store.AddRecord(MakeEntry(L"a", L"1"));
    RecordEntry e;
    CTraceCapture trace;
    EXPECT_FALSE(store.GetRecord(1, e));
    EXPECT_FALSE(store.GetRecord(-1, e));
    EXPECT_FALSE(store.GetRecord(7, e));
    EXPECT_EQ(trace.Text(),
              L"read record xml exception\nread record xml exception\n"
              L"read record xml exception\n");
    EXPECT_TRUE(store.GetRecord(0, e));
    EXPECT_EQ(e.m_strName, L"a");
}

TEST_F(HistoryStore, DeleteAndMarkReadSaveOnlyWhenSomethingMatched) {
    WriteFile(
        "<quern><list><rec1><name>bob</name><time>100</time></rec1>"
        "<rec2><name>amy</name><time>200</time><new>true</new></rec2></list></quern>");
    CRecordHistory store;
    store.Open(m_strPath);
    RecordEntry e;
    // Reading creates default elements in memory; an unwanted save would write them.
    ASSERT_TRUE(store.GetRecord(0, e));
    std::string before = FileText(m_strPath);
    EXPECT_FALSE(store.DeleteRecord(L"nobody", L"100"));
    EXPECT_FALSE(store.DeleteRecord(L"bob", L"101"));
    EXPECT_FALSE(store.MarkRecordRead(L"nobody", L"100"));
    EXPECT_EQ(FileText(m_strPath), before);

    EXPECT_TRUE(store.MarkRecordRead(L"AMY", L"200"));
    EXPECT_NE(FileText(m_strPath).find("<rec2><name>amy</name><time>200</time><new>false</new>"),
              std::string::npos);
    EXPECT_TRUE(store.DeleteRecord(L"Bob", L"100"));
    std::string after = FileText(m_strPath);
    EXPECT_EQ(after.find("bob"), std::string::npos) << after;
    EXPECT_EQ(store.GetCount(), 1);
    ASSERT_TRUE(store.GetRecord(0, e));
    EXPECT_EQ(e.m_strName, L"amy");
    EXPECT_FALSE(e.m_bNew);
}

TEST_F(HistoryStore, EntriesComeBackInInsertionOrder) {
    {
        CRecordHistory store;
        store.Open(m_strPath);
        for (int i = 0; i < 6; ++i)
            ASSERT_TRUE(
                store.AddRecord(MakeEntry(L"p" + std::to_wstring(i), std::to_wstring(1000 - i))));
    }
    CRecordHistory store;
    store.Open(m_strPath);
    ASSERT_EQ(store.GetCount(), 6);
    RecordEntry e;
    for (int i = 0; i < 6; ++i) {
        ASSERT_TRUE(store.GetRecord(i, e));
        EXPECT_EQ(e.m_strName, L"p" + std::to_wstring(i));
    }
    // Out of order and repeated reads give the same entries as the start-up walk.
    ASSERT_TRUE(store.GetRecord(4, e));
    EXPECT_EQ(e.m_strName, L"p4");
    ASSERT_TRUE(store.GetRecord(5, e));
    EXPECT_EQ(e.m_strName, L"p5");
    ASSERT_TRUE(store.GetRecord(0, e));
    ASSERT_TRUE(store.GetRecord(2, e));
    EXPECT_EQ(e.m_strName, L"p2");
    ASSERT_TRUE(store.GetRecord(3, e));
    EXPECT_EQ(e.m_strName, L"p3");
    // A new entry takes the next index; a deleted one closes the gap.
    ASSERT_TRUE(store.AddRecord(MakeEntry(L"late", L"5")));
    ASSERT_TRUE(store.GetRecord(6, e));
    EXPECT_EQ(e.m_strName, L"late");
    ASSERT_TRUE(store.GetRecord(0, e));
    ASSERT_TRUE(store.DeleteRecord(L"p1", L"999"));
    ASSERT_TRUE(store.GetRecord(1, e));
    EXPECT_EQ(e.m_strName, L"p2");
}

TEST_F(HistoryStore, UnparsableFileIsKeptWithItsExactBytes) {
    const std::string strGarbage("<quern><list><rec1><name>lost?</na\x00\xff\xfe junk", 42);
    ASSERT_TRUE(WriteBytes(m_strPath, strGarbage));
    s_tFixed = 1797158100;  // 2026-12-09
    CRecordHistory::SetClock(FixedClock);
    time_t t = s_tFixed;
    struct tm tmLocal = {};
    localtime_s(&tmLocal, &t);
    wchar_t szStamp[32];
    wcsftime(szStamp, 32, L"%Y%m%d-%H%M%S", &tmLocal);
    const std::wstring strKept = m_strPath + L".unreadable-" + szStamp;
    // A copy kept from an earlier run under the same name stays as it is.
    ASSERT_TRUE(WriteBytes(strKept, "earlier copy"));

    CRecordHistory store;
    {
        CTraceCapture trace;
        store.Open(m_strPath);
        EXPECT_EQ(trace.Text(), L"rec xml file open failed\n");
    }
    EXPECT_EQ(store.GetCount(), 0);
    EXPECT_EQ(FileText(m_strPath), strGarbage) << "opening must not touch the file";
    ASSERT_TRUE(store.AddRecord(MakeEntry(L"frank", L"400")));

    EXPECT_EQ(FileText(strKept), "earlier copy");
    EXPECT_EQ(FileText(strKept + L"-2"), strGarbage);
    std::string data = FileText(m_strPath);
    EXPECT_EQ(data.rfind(DECLARATION, 0), 0u) << data;
    EXPECT_NE(data.find("<name>frank</name>"), std::string::npos);
    // The copy is made once: later saves just replace record.xml.
    ASSERT_TRUE(store.AddRecord(MakeEntry(L"gina", L"401")));
    EXPECT_EQ(m_dir.List().size(), 3u);

    CRecordHistory reopened;
    reopened.Open(m_strPath);
    EXPECT_EQ(reopened.GetCount(), 2);
}

TEST_F(HistoryStore, InterruptedSaveLeavesTheOldFileReadable) {
    CRecordHistory store;
    store.Open(m_strPath);
    ASSERT_TRUE(store.AddRecord(MakeEntry(L"harry", L"500")));
    std::string before = FileText(m_strPath);

    CXml::ReplaceHookFn old =
        CXml::SetReplaceHook([](const std::wstring&, const std::wstring&) { return false; });
    CTraceCapture trace;
    // The entry is taken even though it could not be written yet.
    EXPECT_TRUE(store.AddRecord(MakeEntry(L"iris", L"501")));
    CXml::SetReplaceHook(old);
    EXPECT_EQ(trace.Text().rfind(L"CXml::Save( " + m_strPath + L" ) failed:", 0), 0u);
    EXPECT_EQ(FileText(m_strPath), before);
    {
        CRecordHistory reader;
        reader.Open(m_strPath);
        EXPECT_EQ(reader.GetCount(), 1);
    }
    EXPECT_EQ(store.GetCount(), 2);
    // The next successful save writes both.
    ASSERT_TRUE(store.MarkRecordRead(L"harry", L"500"));
    CRecordHistory reader;
    reader.Open(m_strPath);
    EXPECT_EQ(reader.GetCount(), 2);
}

TEST(HistoryFolder, PathWithHashAndPercentLoadsAndSaves) {
    CComInit com;
    CScratchFolder dir(L"Ann #1%20x");
    const std::wstring strPath = dir.File(L"record.xml");
    {
        CRecordHistory store;
        store.Open(strPath);
        ASSERT_TRUE(store.AddRecord(MakeEntry(L"alice", L"100")));
    }
    CRecordHistory store;
    store.Open(strPath);
    ASSERT_EQ(store.GetCount(), 1);
    ASSERT_TRUE(store.AddRecord(MakeEntry(L"bob", L"101")));
    CRecordHistory reopened;
    reopened.Open(strPath);
    RecordEntry e;
    ASSERT_EQ(reopened.GetCount(), 2);
    ASSERT_TRUE(reopened.GetRecord(0, e));
    EXPECT_EQ(e.m_strName, L"alice");
    EXPECT_EQ(dir.List().size(), 1u);
}

TEST_F(HistoryStore, LockedFileIsNeverSavedOverAndIsMergedOnceReadable) {
    {
        CRecordHistory first;
        first.Open(m_strPath);
        ASSERT_TRUE(first.AddRecord(MakeEntry(L"older", L"300")));
    }
    const std::string before = FileText(m_strPath);
    HANDLE hHold = ::CreateFileW(m_strPath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(hHold, INVALID_HANDLE_VALUE);

    CRecordHistory store;
    store.Open(m_strPath);
    EXPECT_TRUE(store.IsBlocked());
    EXPECT_TRUE(store.AddRecord(MakeEntry(L"newer", L"301")));
    EXPECT_TRUE(store.HasUnsavedChanges());
    EXPECT_FALSE(store.RetryBlocked());
    ::CloseHandle(hHold);
    EXPECT_EQ(FileText(m_strPath), before);

    ASSERT_TRUE(store.RetryBlocked());
    EXPECT_FALSE(store.HasUnsavedChanges());
    EXPECT_EQ(store.GetTakenInCount(), 1);
    RecordEntry e;
    ASSERT_EQ(store.GetCount(), 2);
    ASSERT_TRUE(store.GetRecord(0, e));
    EXPECT_EQ(e.m_strName, L"older");
    CRecordHistory reader;
    reader.Open(m_strPath);
    ASSERT_EQ(reader.GetCount(), 2);
    ASSERT_TRUE(reader.GetRecord(1, e));
    EXPECT_EQ(e.m_strName, L"newer");
    EXPECT_EQ(m_dir.List().size(), 1u) << "no unreadable copy, no leftover";
}

TEST_F(HistoryStore, EntriesAddedInTheSameSecondAreBothKept) {
    s_tFixed = 1273656615;
    CRecordHistory::SetClock(FixedClock);
    CRecordHistory store;
    store.Open(m_strPath);
    ASSERT_TRUE(store.AddRecord(MakeEntry(L"jack", L"600")));
    ASSERT_TRUE(store.AddRecord(MakeEntry(L"kate", L"601")));
    ASSERT_TRUE(store.AddRecord(MakeEntry(L"liam", L"602")));
    std::string data = FileText(m_strPath);
    EXPECT_NE(data.find("<rec20100512093015><name>jack</name>"), std::string::npos) << data;
    EXPECT_NE(data.find("<rec20100512093015_2><name>kate</name>"), std::string::npos) << data;
    EXPECT_NE(data.find("<rec20100512093015_3><name>liam</name>"), std::string::npos) << data;

    CRecordHistory reopened;
    reopened.Open(m_strPath);
    ASSERT_EQ(reopened.GetCount(), 3);
    RecordEntry e;
    ASSERT_TRUE(reopened.GetRecord(0, e));
    EXPECT_EQ(e.m_strFile, L"C:\\Rec\\jack_2010-05-12_11-30-15.mp3");
    ASSERT_TRUE(reopened.GetRecord(1, e));
    EXPECT_EQ(e.m_strName, L"kate");
    EXPECT_EQ(e.m_strTime, L"601");
}

TEST_F(HistoryStore, WithoutADocumentThereAreNoEntriesAndNothingCrashes) {
    CRecordHistory never;
    EXPECT_EQ(never.GetCount(), 0);
    RecordEntry e;
    CTraceCapture trace;
    EXPECT_FALSE(never.GetRecord(0, e));
    EXPECT_FALSE(never.AddRecord(MakeEntry(L"m", L"1")));
    EXPECT_FALSE(never.DeleteRecord(L"m", L"1"));
    EXPECT_FALSE(never.MarkRecordRead(L"m", L"1"));
    std::wstring strTrace = trace.Text();
    EXPECT_NE(strTrace.find(L"read record xml exception\n"), std::wstring::npos);
    EXPECT_NE(strTrace.find(L"add record exception\n"), std::wstring::npos);
    EXPECT_NE(strTrace.find(L"SearchNode REC Exception\n"), std::wstring::npos);

    CRecordHistory empty;
    empty.Open(L"");
    EXPECT_EQ(empty.GetCount(), 0);
}

TEST_F(HistoryStore, TextBetweenEntriesIsCountedButNotRead) {
    WriteFile(
        "<quern><list><rec1><name>nina</name><time>1</time></rec1>stray<!--c-->"
        "<rec2><name>omar</name><time>2</time></rec2></list></quern>");
    CRecordHistory store;
    store.Open(m_strPath);
    ASSERT_EQ(store.GetCount(), 4);
    RecordEntry e;
    EXPECT_TRUE(store.GetRecord(0, e));
    EXPECT_FALSE(store.GetRecord(1, e));
    EXPECT_FALSE(store.GetRecord(2, e));
    EXPECT_TRUE(store.GetRecord(3, e));
    EXPECT_EQ(e.m_strName, L"omar");
    CXmlNode node;
    EXPECT_TRUE(store.SearchNode(L"OMAR", L"2", node));
    EXPECT_EQ(node.GetName(), L"rec2");
    EXPECT_FALSE(store.AddRecord(MakeEntry(L"omar", L"2")));
}

TEST_F(HistoryStore, NonAsciiNamesNotesAndPathsSurvive) {
    CScratchFolder folder(L"Zo\u00eb \u5f55\u97f3 \U0001F3A4");
    const std::wstring strPath = folder.File(L"record.xml");
    RecordEntry e = MakeEntry(L"zo\u00eb.m\u00fcller,\u5f20\u4f1f", L"1273656615");
    e.m_strFile = folder.File(L"zo\u00eb_\u5f20\u4f1f_\U0001F600.mp3");
    e.m_strNote = L"caf\u00e9 \u2615\r\n\u65e5\u672c\u8a9e \U0001F389";
    {
        CRecordHistory store;
        store.Open(strPath);
        ASSERT_TRUE(store.AddRecord(e));
    }
    std::string data = FileText(strPath);
    EXPECT_NE(data.find(WideToUtf8(L"<name>zo\u00eb.m\u00fcller,\u5f20\u4f1f</name>")),
              std::string::npos);
    CRecordHistory store;
    store.Open(strPath);
    RecordEntry back;
    ASSERT_TRUE(store.GetRecord(0, back));
    EXPECT_EQ(back.m_strName, e.m_strName);
    EXPECT_EQ(back.m_strFile, e.m_strFile);
    EXPECT_EQ(back.m_strNote, e.m_strNote);
    EXPECT_TRUE(store.MarkRecordRead(L"ZO\u00cb.M\u00dcLLER,\u5f20\u4f1f", L"1273656615"));
}

TEST(HistoryInstance, GetInstanceReturnsOneStoreUntilDestroyed) {
    CRecordHistory* p = CRecordHistory::GetInstance();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(CRecordHistory::GetInstance(), p);
    EXPECT_EQ(p->GetCount(), 0);
    EXPECT_TRUE(p->GetPath().empty());
    CRecordHistory::DestroyInstance();
    CRecordHistory::DestroyInstance();
}

// Writes one entry to the path in OMBRA_HISTORY_OUT for the file check on the Linux side.
TEST(HistoryFile, WriteOneEntryForTheLinuxCheck) {
    const char* pszOut = std::getenv("OMBRA_HISTORY_OUT");
    if (!pszOut || !*pszOut) GTEST_SKIP() << "run by record_file.sh";
    CComInit com;
    const std::wstring strPath = Utf8ToWide(pszOut);
    ::DeleteFileW(strPath.c_str());
    CRecordHistory store;
    store.Open(strPath);
    ASSERT_EQ(store.GetCount(), 0);
    RecordEntry e;
    e.m_strName = L"zo\u00eb.m\u00fcller";
    e.m_strTime = L"1273656615";
    e.m_strFile = L"C:\\users\\me\\Documents\\Ombra\\zo\u00eb.m\u00fcller_2010-05-12_11-30-15.mp3";
    e.m_nType = 2;
    e.m_nDuration = 754;
    e.m_bNew = true;
    e.m_strNote = L"\u5f20 & <b>\r\nline two \U0001F600";
    ASSERT_TRUE(store.AddRecord(e));
}
