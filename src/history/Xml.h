#pragma once
// A thin layer over the MSXML 3.0 DOM: open or start a document, find or create
// named child elements, read and write element text, save the document.
// DOM failures of the node operations are thrown as CXmlError; they never leave
// the history subsystem (the store catches them).
#include <windows.h>
#include <msxml2.h>

#include <string>

#include "base/Com.h"

// A failed DOM call: its HRESULT, the interface that failed and the DOM's
// description where it gave one.
class CXmlError {
public:
    CXmlError(HRESULT hr, const IID& iid, std::wstring strDescription = {});
    HRESULT Error() const { return m_hr; }
    const IID& Interface() const { return m_iid; }
    const std::wstring& Description() const { return m_strDescription; }
    // The system's text for the HRESULT, formed once and kept.
    const std::wstring& ErrorMessage() const;

private:
    HRESULT m_hr;
    IID m_iid;
    std::wstring m_strDescription;
    mutable std::wstring m_strMessage;
    mutable bool m_bMessageFormed = false;
};

std::wstring ErrorMessage(const CXmlError& error);

class CXmlNodeList;

// One counted reference to a DOM node. A default-constructed node holds none:
// every operation on it throws E_POINTER.
class CXmlNode {
public:
    CXmlNode() = default;
    explicit CXmlNode(ComPtr<IXMLDOMNode> pNode) : m_pNode(std::move(pNode)) {}

    bool IsNull() const { return !m_pNode; }
    IXMLDOMNode* Get() const { return m_pNode.Get(); }
    // False for text, comments and the like (and for a node that holds none).
    bool IsElement() const;

    // First child element named strName, created and appended when absent.
    CXmlNode GetChild(const std::wstring& strName);
    // First child element named strName without creating it: false when absent.
    bool FindChild(const std::wstring& strName, CXmlNode& node);
    // Always appends a new child element named strName.
    CXmlNode AddChild(const std::wstring& strName);
    CXmlNodeList GetChildNodes();
    // The element's name ("rec20100512093015").
    std::wstring GetName();

    // False on a DOM error.
    bool GetText(std::wstring& strText);
    bool SetText(const std::wstring& strText);

    // Empty text with a default given: the default is written and returned.
    std::wstring GetString(const wchar_t* pszDefault = nullptr);
    // Empty text: the default is written ("%ld"). Returns the text as strtol would.
    long GetInt(long nDefault);
    // "true"/"false" in any case; anything else is replaced by the default.
    bool GetBool(bool bDefault);
    bool SetString(const std::wstring& strText);
    bool SetInt(long nValue);
    bool SetBool(bool bValue);

    // An attribute of the element: empty when absent; an empty value removes it.
    std::wstring GetAttribute(const std::wstring& strName);
    bool SetAttribute(const std::wstring& strName, const std::wstring& strValue);

    // Detaches the node from its parent; a node without parent throws E_POINTER.
    bool Remove();

private:
    ComPtr<IXMLDOMNode> m_pNode;
};

// The child nodes of a node.
class CXmlNodeList {
public:
    CXmlNodeList() = default;
    explicit CXmlNodeList(ComPtr<IXMLDOMNodeList> pList) : m_pList(std::move(pList)) {}

    bool IsNull() const { return !m_pList; }
    // -1 when the DOM fails.
    long GetLength();
    // Outside the list: a node that holds no node.
    CXmlNode GetItem(long nIndex);
    // Walks the list from the start: Reset, then NextNode until it holds no node.
    // Reading every entry this way stays linear where indexing is not.
    void Reset();
    CXmlNode NextNode();

private:
    ComPtr<IXMLDOMNodeList> m_pList;
};

class CXml {
public:
    CXml() = default;
    ~CXml() = default;
    CXml(const CXml&) = delete;
    CXml& operator=(const CXml&) = delete;
    CXml(CXml&&) = default;
    CXml& operator=(CXml&&) = default;

    // How the last Open went.
    enum OpenResult {
        XML_OPEN_NONE,       // not opened yet, or the DOM could not be created
        XML_OPEN_LOADED,     // an existing file was parsed
        XML_OPEN_NEW,        // no file: a new document holding the declaration
        XML_OPEN_BLOCKED,    // the file is there but could not be read (locked, denied)
        XML_OPEN_UNPARSED,   // the file was read but is not a document
    };

    // True when a document is ready: parsed from the file, or newly started
    // (declaration only) because no file exists. Nothing is written to disk.
    // The file is read here and handed to the DOM as bytes: given a path, the
    // DOM takes it for a URL and misreads "#" or "%20" in a folder name.
    bool Open(const std::wstring& strPath);
    // Writes to a temporary file beside strPath, flushes it to the disk and then
    // replaces strPath in one step that is itself written through, so that after
    // a failure or a power cut either the old or the new file is there whole.
    bool Save(const std::wstring& strPath);
    // The document element, "quern" created when there is none.
    CXmlNode GetRoot();

    bool HasDocument() const { return static_cast<bool>(m_pDoc); }
    // True when the last Open parsed an existing file.
    bool WasLoaded() const { return m_nOpenResult == XML_OPEN_LOADED; }
    OpenResult GetOpenResult() const { return m_nOpenResult; }
    const std::wstring& GetPath() const { return m_strPath; }

    // Test seam: called after the temporary file is written and before it
    // replaces the target; returning false makes the save fail at that point.
    using ReplaceHookFn = bool (*)(const std::wstring& strTempPath, const std::wstring& strPath);
    static ReplaceHookFn SetReplaceHook(ReplaceHookFn fn);

private:
    ComPtr<IXMLDOMDocument2> m_pDoc;
    std::wstring m_strPath;
    OpenResult m_nOpenResult = XML_OPEN_NONE;
};
