// The XML wrapper over Wine's real MSXML 3.0.
#include <gtest/gtest.h>

#include "HistoryTestSupport.h"
#include "base/Com.h"
#include "history/Xml.h"

namespace {

const char DECLARATION[] = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>";

size_t CountOf(const std::string& s, const std::string& what) {
    size_t n = 0;
    for (size_t pos = s.find(what); pos != std::string::npos; pos = s.find(what, pos + 1)) ++n;
    return n;
}

class XmlDocument : public ::testing::Test {
protected:
    CComInit m_com;
    CScratchFolder m_dir;
};

// The HRESULT a wrapper call threw, or S_OK when it threw nothing.
template <typename F>
HRESULT ThrownBy(F f) {
    try {
        f();
    } catch (const CXmlError& e) {
        return e.Error();
    }
    return S_OK;
}

}  // namespace

TEST_F(XmlDocument, MissingFileGivesDeclarationAndQuernWhenSaved) {
    CXml xml;
    const std::wstring strPath = m_dir.File(L"new.xml");
    ASSERT_TRUE(xml.Open(strPath));
    EXPECT_FALSE(xml.WasLoaded());
    EXPECT_FALSE(FileExists(strPath)) << "Open must not write";
    EXPECT_EQ(xml.GetPath(), strPath);
    CXmlNode root = xml.GetRoot();
    EXPECT_EQ(root.GetName(), L"quern");
    EXPECT_EQ(xml.GetRoot().GetName(), L"quern");
    ASSERT_TRUE(xml.Save(strPath));
    std::string data;
    ASSERT_TRUE(ReadBytes(strPath, data));
    EXPECT_EQ(data.rfind(DECLARATION, 0), 0u) << data;
    EXPECT_NE(data.find("<quern/>"), std::string::npos) << data;
    EXPECT_EQ(CountOf(data, "<quern"), 1u);
    // No temporary file is left beside it.
    EXPECT_EQ(m_dir.List().size(), 1u);
}

TEST_F(XmlDocument, MalformedFileFailsAndLeavesAnEmptyDocument) {
    const std::wstring strPath = m_dir.File(L"bad.xml");
    ASSERT_TRUE(WriteBytes(strPath, "<quern><list><rec1></list>"));
    CXml xml;
    EXPECT_FALSE(xml.Open(strPath));
    EXPECT_TRUE(xml.HasDocument());
    EXPECT_FALSE(xml.WasLoaded());
    CXmlNode root = xml.GetRoot();
    EXPECT_EQ(root.GetName(), L"quern");
    EXPECT_EQ(root.GetChildNodes().GetLength(), 0);
}

TEST_F(XmlDocument, GetChildFindsTheSameElementTwice) {
    CXml xml;
    const std::wstring strPath = m_dir.File(L"child.xml");
    ASSERT_TRUE(xml.Open(strPath));
    CXmlNode root = xml.GetRoot();
    CXmlNode first = root.GetChild(L"list");
    ASSERT_TRUE(first.SetString(L"marker"));
    CXmlNode second = root.GetChild(L"list");
    EXPECT_EQ(second.GetString(), L"marker");
    EXPECT_EQ(root.GetChildNodes().GetLength(), 1);
    // Appended as the last child, and the first of two same-named elements wins.
    root.AddChild(L"other");
    root.AddChild(L"list").SetString(L"later");
    EXPECT_EQ(root.GetChild(L"list").GetString(), L"marker");
    EXPECT_EQ(root.GetChildNodes().GetItem(1).GetName(), L"other");
    ASSERT_TRUE(xml.Save(strPath));
    std::string data;
    ReadBytes(strPath, data);
    EXPECT_NE(data.find("<quern><list>marker</list><other/><list>later</list></quern>"),
              std::string::npos)
        << data;
}

TEST_F(XmlDocument, TypedGettersWriteBackOnlyWhatTheyReplace) {
    CXml xml;
    ASSERT_TRUE(xml.Open(m_dir.File(L"typed.xml")));
    CXmlNode root = xml.GetRoot();
    std::wstring text;

    CXmlNode yes = root.GetChild(L"yes");
    yes.SetText(L"yes");
    EXPECT_FALSE(yes.GetBool(false));
    ASSERT_TRUE(yes.GetText(text));
    EXPECT_EQ(text, L"false");

    CXmlNode upper = root.GetChild(L"upper");
    upper.SetText(L"FALSE");
    EXPECT_FALSE(upper.GetBool(true));
    upper.GetText(text);
    EXPECT_EQ(text, L"FALSE");

    CXmlNode empty = root.GetChild(L"emptybool");
    EXPECT_TRUE(empty.GetBool(true));
    empty.GetText(text);
    EXPECT_EQ(text, L"true");
    EXPECT_TRUE(root.GetChild(L"mixed").SetText(L"TrUe"));
    EXPECT_TRUE(root.GetChild(L"mixed").GetBool(false));

    CXmlNode zero = root.GetChild(L"zero");
    EXPECT_EQ(zero.GetInt(0), 0);
    zero.GetText(text);
    EXPECT_EQ(text, L"0");

    CXmlNode neg = root.GetChild(L"neg");
    EXPECT_EQ(neg.GetInt(-7), -7);
    neg.GetText(text);
    EXPECT_EQ(text, L"-7");

    CXmlNode digits = root.GetChild(L"digits");
    digits.SetText(L" 42abc");
    EXPECT_EQ(digits.GetInt(5), 42);

    CXmlNode letters = root.GetChild(L"letters");
    letters.SetText(L"x1");
    EXPECT_EQ(letters.GetInt(9), 0);
    letters.GetText(text);
    EXPECT_EQ(text, L"x1");

    CXmlNode str = root.GetChild(L"str");
    EXPECT_EQ(str.GetString(), L"");
    str.GetText(text);
    EXPECT_EQ(text, L"");
    EXPECT_EQ(str.GetString(L"fallback"), L"fallback");
    str.GetText(text);
    EXPECT_EQ(text, L"fallback");

    EXPECT_TRUE(root.GetChild(L"int").SetInt(-2147483647 - 1));
    EXPECT_EQ(root.GetChild(L"int").GetString(), L"-2147483648");
    EXPECT_TRUE(root.GetChild(L"bool").SetBool(true));
    EXPECT_EQ(root.GetChild(L"bool").GetString(), L"true");

    // The DOM trims the text it reports, so what was left alone shows in the file.
    ASSERT_TRUE(xml.Save(m_dir.File(L"typed.xml")));
    std::string data;
    ReadBytes(m_dir.File(L"typed.xml"), data);
    EXPECT_NE(data.find("<digits> 42abc</digits>"), std::string::npos) << data;
    EXPECT_NE(data.find("<upper>FALSE</upper>"), std::string::npos) << data;
    EXPECT_NE(data.find("<letters>x1</letters>"), std::string::npos) << data;
}

TEST_F(XmlDocument, TextIncludesDescendantsAndIsEscapedByTheDom) {
    const std::wstring strPath = m_dir.File(L"text.xml");
    ASSERT_TRUE(WriteBytes(strPath, "<quern><a>one<b>two</b></a></quern>"));
    CXml xml;
    ASSERT_TRUE(xml.Open(strPath));
    EXPECT_TRUE(xml.WasLoaded());
    EXPECT_EQ(xml.GetRoot().GetChild(L"a").GetString(), L"onetwo");
    xml.GetRoot().GetChild(L"c").SetString(L"<&> \"quoted\"");
    ASSERT_TRUE(xml.Save(strPath));
    CXml again;
    ASSERT_TRUE(again.Open(strPath));
    EXPECT_EQ(again.GetRoot().GetChild(L"c").GetString(), L"<&> \"quoted\"");
}

TEST_F(XmlDocument, WhitespaceBetweenElementsIsDroppedOnLoad) {
    const std::wstring strPath = m_dir.File(L"ws.xml");
    ASSERT_TRUE(WriteBytes(strPath,
                           "<?xml version=\"1.0\"?>\r\n<quern>\r\n  <list>\r\n    "
                           "<rec1><name>a</name></rec1>\r\n  </list>\r\n</quern>\r\n"));
    CXml xml;
    ASSERT_TRUE(xml.Open(strPath));
    CXmlNode list = xml.GetRoot().GetChild(L"list");
    EXPECT_EQ(list.GetChildNodes().GetLength(), 1);
}

TEST_F(XmlDocument, NonAsciiTextSurvivesSaveAndLoadAsUtf8) {
    const std::wstring strText = L"Zo\u00eb \u5f20\u4f1f \U0001F600";
    const std::wstring strPath = m_dir.File(L"\u00e9t\u00e9 \u5f55\u97f3 \U0001F3B5.xml");
    CXml xml;
    ASSERT_TRUE(xml.Open(strPath));
    xml.GetRoot().GetChild(L"t").SetString(strText);
    ASSERT_TRUE(xml.Save(strPath));
    std::string data;
    ASSERT_TRUE(ReadBytes(strPath, data));
    EXPECT_NE(data.find("Zo\xc3\xab \xe5\xbc\xa0\xe4\xbc\x9f \xf0\x9f\x98\x80"), std::string::npos)
        << data;
    CXml again;
    ASSERT_TRUE(again.Open(strPath));
    EXPECT_EQ(again.GetRoot().GetChild(L"t").GetString(), strText);
}

TEST_F(XmlDocument, SaveIntoMissingFolderFailsWithTrace) {
    CXml xml;
    ASSERT_TRUE(xml.Open(m_dir.File(L"a.xml")));
    xml.GetRoot();
    const std::wstring strPath = m_dir.File(L"missing\\record.xml");
    CTraceCapture trace;
    EXPECT_FALSE(xml.Save(strPath));
    std::wstring strTrace = trace.Text();
    const std::wstring strPrefix = L"CXml::Save( " + strPath + L" ) failed:";
    ASSERT_EQ(strTrace.rfind(strPrefix, 0), 0u) << testing::PrintToString(strTrace);
    EXPECT_GT(strTrace.size(), strPrefix.size() + 1) << "the platform's message text is missing";
    EXPECT_EQ(strTrace.back(), L'\n');
    EXPECT_EQ(strTrace.find(L'\n'), strTrace.size() - 1);
    // The path of a failed save is not taken as the document's path.
    EXPECT_EQ(xml.GetPath(), m_dir.File(L"a.xml"));
}

TEST_F(XmlDocument, FailedReplaceLeavesThePreviousFile) {
    const std::wstring strPath = m_dir.File(L"keep.xml");
    CXml xml;
    ASSERT_TRUE(xml.Open(strPath));
    xml.GetRoot().GetChild(L"v").SetString(L"old");
    ASSERT_TRUE(xml.Save(strPath));
    std::string before;
    ReadBytes(strPath, before);

    xml.GetRoot().GetChild(L"v").SetString(L"new");
    static bool s_bTempWritten;
    s_bTempWritten = false;
    CXml::ReplaceHookFn old =
        CXml::SetReplaceHook([](const std::wstring& strTemp, const std::wstring&) {
            std::string data;
            s_bTempWritten = ReadBytes(strTemp, data) && data.find("new") != std::string::npos;
            ::SetLastError(ERROR_DISK_FULL);
            return false;
        });
    CTraceCapture trace;
    EXPECT_FALSE(xml.Save(strPath));
    CXml::SetReplaceHook(old);
    EXPECT_TRUE(s_bTempWritten);
    std::string after;
    ReadBytes(strPath, after);
    EXPECT_EQ(after, before);
    EXPECT_EQ(m_dir.List().size(), 1u) << "the temporary file must be removed";
    EXPECT_EQ(trace.Text().rfind(L"CXml::Save( " + strPath + L" ) failed:", 0), 0u);

    // The next save puts the change in place.
    ASSERT_TRUE(xml.Save(strPath));
    CXml again;
    ASSERT_TRUE(again.Open(strPath));
    EXPECT_EQ(again.GetRoot().GetChild(L"v").GetString(), L"new");
}

TEST_F(XmlDocument, ReadOnlyFileIsNotReplaced) {
    const std::wstring strPath = m_dir.File(L"locked.xml");
    CXml xml;
    ASSERT_TRUE(xml.Open(strPath));
    xml.GetRoot().GetChild(L"v").SetString(L"old");
    ASSERT_TRUE(xml.Save(strPath));
    std::string before;
    ReadBytes(strPath, before);
    ASSERT_TRUE(::SetFileAttributesW(strPath.c_str(), FILE_ATTRIBUTE_READONLY));

    xml.GetRoot().GetChild(L"v").SetString(L"new");
    CTraceCapture trace;
    EXPECT_FALSE(xml.Save(strPath));
    std::string after;
    ReadBytes(strPath, after);
    EXPECT_EQ(after, before);
    EXPECT_TRUE(::GetFileAttributesW(strPath.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(trace.Text().rfind(L"CXml::Save( " + strPath + L" ) failed:", 0), 0u);
    EXPECT_EQ(m_dir.List().size(), 1u);

    // Writable again: the change held in memory goes out with the next save.
    ASSERT_TRUE(::SetFileAttributesW(strPath.c_str(), FILE_ATTRIBUTE_NORMAL));
    ASSERT_TRUE(xml.Save(strPath));
    CXml again;
    ASSERT_TRUE(again.Open(strPath));
    EXPECT_EQ(again.GetRoot().GetChild(L"v").GetString(), L"new");
}

TEST_F(XmlDocument, EmptyNodesAndUnopenedDocumentsFailWithInvalidPointer) {
    CXml unopened;
    EXPECT_FALSE(unopened.HasDocument());
    EXPECT_EQ(ThrownBy([&] { unopened.GetRoot(); }), E_POINTER);
    {
        CTraceCapture trace;
        EXPECT_FALSE(unopened.Save(m_dir.File(L"never.xml")));
        EXPECT_NE(trace.Text().find(L"CXml::Save("), std::wstring::npos);
    }
    EXPECT_FALSE(FileExists(m_dir.File(L"never.xml")));

    CXml xml;
    ASSERT_TRUE(xml.Open(m_dir.File(L"x.xml")));
    CXmlNode list = xml.GetRoot().GetChild(L"list");
    list.AddChild(L"a");
    CXmlNodeList children = list.GetChildNodes();
    EXPECT_EQ(children.GetLength(), 1);
    CXmlNode outside = children.GetItem(1);
    EXPECT_TRUE(outside.IsNull());
    EXPECT_EQ(ThrownBy([&] { outside.GetChild(L"name"); }), E_POINTER);
    EXPECT_EQ(ThrownBy([&] { outside.GetString(); }), E_POINTER);
    EXPECT_EQ(ThrownBy([&] { outside.Remove(); }), E_POINTER);
    std::wstring text;
    EXPECT_FALSE(outside.GetText(text));
    EXPECT_FALSE(outside.SetText(L"x"));
    EXPECT_EQ(CXmlNodeList().GetLength(), -1);

    CXmlNode a = children.GetItem(0);
    EXPECT_TRUE(a.Remove());
    EXPECT_EQ(list.GetChildNodes().GetLength(), 0);
    // Detached now: no parent to be removed from.
    EXPECT_EQ(ThrownBy([&] { a.Remove(); }), E_POINTER);
}

TEST_F(XmlDocument, NodeListWalksInDocumentOrder) {
    CXml xml;
    ASSERT_TRUE(xml.Open(m_dir.File(L"walk.xml")));
    CXmlNode list = xml.GetRoot().GetChild(L"list");
    for (int i = 0; i < 5; ++i) list.AddChild(L"e" + std::to_wstring(i));
    CXmlNodeList children = list.GetChildNodes();
    children.Reset();
    for (int i = 0; i < 5; ++i) EXPECT_EQ(children.NextNode().GetName(), L"e" + std::to_wstring(i));
    EXPECT_TRUE(children.NextNode().IsNull());
    children.Reset();
    EXPECT_EQ(children.NextNode().GetName(), L"e0");
}

TEST(XmlErrorMessage, UsesTheSystemTextOrAFallback) {
    wchar_t szSystem[256] = {};
    DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                               static_cast<DWORD>(E_OUTOFMEMORY), 0, szSystem, 256, nullptr);
    ASSERT_GT(n, 1u);
    std::wstring strExpected(szSystem, n);
    while (!strExpected.empty() && (strExpected.back() == L'\n' || strExpected.back() == L'\r'))
        strExpected.pop_back();
    CXmlError oom(E_OUTOFMEMORY, IID_NULL);
    EXPECT_EQ(ErrorMessage(oom), strExpected);
    EXPECT_EQ(oom.ErrorMessage(), strExpected);

    EXPECT_EQ(ErrorMessage(CXmlError(static_cast<HRESULT>(0x80040205), IID_NULL)),
              L"IDispatch error #5");
    EXPECT_EQ(ErrorMessage(CXmlError(static_cast<HRESULT>(0x2000ABCD), IID_NULL)),
              L"Unknown error 0x2000ABCD");
}
