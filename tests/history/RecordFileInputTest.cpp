// record.xml files the program did not write itself: other encodings, damage and
// hostile content. Each must load or be kept aside, and nothing may be lost.
#include <gtest/gtest.h>

#include "HistoryTestSupport.h"
#include "base/Com.h"
#include "base/StringUtil.h"
#include "history/RecordHistory.h"

namespace {

const char DECLARATION[] = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>";

class RecordFileInput : public ::testing::Test {
protected:
    void SetUp() override { m_strPath = m_dir.File(L"record.xml"); }

    // Adds one entry with a non-ASCII name, then reads every name back from a fresh store.
    std::vector<std::wstring> AddAndReadBack() {
        {
            CRecordHistory store;
            store.Open(m_strPath);
            RecordEntry e;
            e.m_strName = L"\u5f20\u4f1f";
            e.m_strTime = L"1273656700";
            EXPECT_TRUE(store.AddRecord(e));
        }
        CRecordHistory store;
        store.Open(m_strPath);
        std::vector<std::wstring> names;
        RecordEntry e;
        for (int i = 0; i < store.GetCount(); ++i)
            if (store.GetRecord(i, e)) names.push_back(e.m_strName);
        return names;
    }

    std::string FileText() {
        std::string data;
        ReadBytes(m_strPath, data);
        return data;
    }

    CComInit m_com;
    CScratchFolder m_dir;
    std::wstring m_strPath;
};

}  // namespace

TEST_F(RecordFileInput, Latin1FileKeepsItsTextAcrossASave) {
    ASSERT_TRUE(WriteBytes(m_strPath,
                           "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><quern><list><rec1>"
                           "<name>zo\xeb.m\xfcller</name><time>1273656615</time></rec1></list></quern>"));
    std::vector<std::wstring> names = AddAndReadBack();
    ASSERT_EQ(names.size(), 2u) << FileText();
    EXPECT_EQ(names[0], L"zo\u00eb.m\u00fcller");
    EXPECT_EQ(names[1], L"\u5f20\u4f1f");
    std::string data = FileText();
    EXPECT_EQ(data.rfind(DECLARATION, 0), 0u) << data;
    EXPECT_NE(data.find("zo\xc3\xab.m\xc3\xbcller"), std::string::npos) << data;
}

TEST_F(RecordFileInput, Utf16FileKeepsItsTextAcrossASave) {
    const std::wstring strDoc =
        L"\xfeff<?xml version=\"1.0\" encoding=\"UTF-16\"?><quern><list><rec1>"
        L"<name>zo\u00eb</name><time>1273656615</time></rec1></list></quern>";
    ASSERT_TRUE(WriteBytes(m_strPath, std::string(reinterpret_cast<const char*>(strDoc.data()),
                                                  strDoc.size() * sizeof(wchar_t))));
    std::vector<std::wstring> names = AddAndReadBack();
    ASSERT_EQ(names.size(), 2u) << FileText();
    EXPECT_EQ(names[0], L"zo\u00eb");
    EXPECT_EQ(names[1], L"\u5f20\u4f1f");
    EXPECT_EQ(FileText().rfind(DECLARATION, 0), 0u);
}

TEST_F(RecordFileInput, Utf8DeclarationsAreLeftAsTheyAre) {
    ASSERT_TRUE(WriteBytes(m_strPath,
                           "<?xml version=\"1.0\" encoding='utf-8'?><quern><list><rec1>"
                           "<name>zo\xc3\xab</name><time>1</time></rec1></list></quern>"));
    std::vector<std::wstring> names = AddAndReadBack();
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0], L"zo\u00eb");
    std::string data = FileText();
    // The declaration is not replaced: it still names the encoding in its own letters.
    EXPECT_LT(data.find("utf-8"), data.find("?>")) << data;
}

TEST_F(RecordFileInput, CharactersXmlCannotHoldDoNotMakeTheFileUnreadable) {
    RecordEntry e;
    e.m_strName = L"odd\x01name\xfffe";
    e.m_strTime = L"1273656615";
    e.m_strFile = L"C:\\Rec\\odd\xffff.mp3";
    e.m_strNote = L"half a pair \xd83d here\r\nand \xde00 there, tab\tkept";
    const std::wstring strPair = L"whole pair \U0001F600";
    {
        CRecordHistory store;
        store.Open(m_strPath);
        ASSERT_TRUE(store.AddRecord(e));
        RecordEntry ok;
        ok.m_strName = strPair;
        ok.m_strTime = L"2";
        ASSERT_TRUE(store.AddRecord(ok));
        // The caller's own text still finds the entry.
        EXPECT_FALSE(store.AddRecord(e));
        EXPECT_TRUE(store.MarkRecordRead(e.m_strName, e.m_strTime));
    }
    CRecordHistory store;
    store.Open(m_strPath);
    ASSERT_EQ(store.GetCount(), 2) << FileText();
    RecordEntry back;
    ASSERT_TRUE(store.GetRecord(0, back));
    EXPECT_EQ(back.m_strName, L"odd\xfffdname\xfffd");
    EXPECT_EQ(back.m_strFile, L"C:\\Rec\\odd\xfffd.mp3");
    EXPECT_EQ(back.m_strNote, L"half a pair \xfffd here\r\nand \xfffd there, tab\tkept");
    EXPECT_FALSE(back.m_bNew);
    ASSERT_TRUE(store.GetRecord(1, back));
    EXPECT_EQ(back.m_strName, strPair);
    EXPECT_TRUE(store.DeleteRecord(e.m_strName, e.m_strTime));
    EXPECT_EQ(store.GetCount(), 1);
}

TEST_F(RecordFileInput, DeepNestingIsKeptAsideAndTheStoreGoesOn) {
    std::string strDoc = std::string(DECLARATION) +
                         "<quern><list><rec1><name>deep</name><time>1</time><note>";
    for (int i = 0; i < 100000; ++i) strDoc += "<a>";
    strDoc += "x";
    for (int i = 0; i < 100000; ++i) strDoc += "</a>";
    strDoc += "</note></rec1></list></quern>";
    ASSERT_TRUE(WriteBytes(m_strPath, strDoc));
    std::vector<std::wstring> names = AddAndReadBack();
    // Either the DOM takes the file in whole or it is kept beside the new one.
    if (names.size() == 2) {
        EXPECT_EQ(names[0], L"deep");
    } else {
        ASSERT_EQ(names.size(), 1u);
        EXPECT_EQ(m_dir.List().size(), 2u);
        std::string kept;
        for (const std::wstring& strName : m_dir.List())
            if (strName != L"record.xml") ReadBytes(m_dir.File(strName), kept);
        EXPECT_EQ(kept, strDoc);
    }
}

TEST_F(RecordFileInput, EntityExpansionDoesNotBlowUp) {
    std::string strDoc = "<?xml version=\"1.0\"?><!DOCTYPE quern [<!ENTITY l0 \"lollollol\">";
    for (int i = 1; i < 10; ++i) {
        strDoc += "<!ENTITY l" + std::to_string(i) + " \"";
        for (int k = 0; k < 10; ++k) strDoc += "&l" + std::to_string(i - 1) + ";";
        strDoc += "\">";
    }
    strDoc += "]><quern><list><rec1><name>a</name><time>1</time><note>&l9;</note></rec1>"
              "</list></quern>";
    ASSERT_TRUE(WriteBytes(m_strPath, strDoc));
    CRecordHistory store;
    store.Open(m_strPath);
    RecordEntry e;
    if (store.GetCount() == 1) {
        ASSERT_TRUE(store.GetRecord(0, e));
        EXPECT_EQ(e.m_strName, L"a");
    } else {
        EXPECT_EQ(store.GetCount(), 0);
    }
}

TEST_F(RecordFileInput, DtdInTheFileLoadsWithoutPullingInOtherFiles) {
    const std::wstring strOther = m_dir.File(L"other.txt");
    ASSERT_TRUE(WriteBytes(strOther, "PRIVATE TEXT"));
    ASSERT_TRUE(WriteBytes(
        m_strPath, "<?xml version=\"1.0\"?><!DOCTYPE quern [<!ENTITY who \"bob\">"
                   "<!ENTITY other SYSTEM \"" + WideToUtf8(strOther) + "\">]><quern><list><rec1>"
                   "<name>&who;</name><time>1</time><note>&other;</note></rec1></list></quern>"));
    std::vector<std::wstring> names = AddAndReadBack();
    ASSERT_EQ(names.size(), 2u) << FileText();
    EXPECT_EQ(names[0], L"bob");
    EXPECT_EQ(FileText().find("PRIVATE TEXT"), std::string::npos) << FileText();
    CRecordHistory store;
    store.Open(m_strPath);
    RecordEntry e;
    ASSERT_TRUE(store.GetRecord(0, e));
    EXPECT_EQ(e.m_strNote.find(L"PRIVATE"), std::wstring::npos);
}
