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
