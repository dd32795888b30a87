#include "history/Xml.h"

#include <oleauto.h>
#include <ole2.h>

#include <cwchar>
#include <cwctype>

#include "base/File.h"
#include "base/StringUtil.h"

namespace {

// mingw ships no definitions of the MSXML identifiers, so they are spelled out here.
constexpr CLSID CLSID_DomDocument30 = {
    0xF5078F32, 0xC551, 0x11D3, {0x89, 0xB9, 0x00, 0x00, 0xF8, 0x1F, 0xE2, 0x21}};
constexpr IID IID_DomNode = {
    0x2933BF80, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
constexpr IID IID_DomDocument = {
    0x2933BF81, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
constexpr IID IID_DomNodeList = {
    0x2933BF82, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
constexpr IID IID_DomElement = {
    0x2933BF86, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
constexpr IID IID_DomDocument2 = {
    0x2933BF95, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
constexpr IID IID_DomParseError = {
    0x3EFAA426, 0x272F, 0x11D2, {0x83, 0x6F, 0x00, 0x00, 0xF8, 0x7A, 0x77, 0x82}};

CXml::ReplaceHookFn s_pfnReplaceHook = nullptr;

// Throws the failure of a DOM call, with the description the DOM left behind.
void Check(HRESULT hr, const IID& iid) {
    if (SUCCEEDED(hr)) return;
    std::wstring strDescription;
    IErrorInfo* pInfo = nullptr;
    if (::GetErrorInfo(0, &pInfo) == S_OK && pInfo) {
        CBstr desc;
        if (SUCCEEDED(pInfo->GetDescription(desc.Out()))) strDescription = desc.Str();
        pInfo->Release();
    }
    throw CXmlError(hr, iid, strDescription);
}

[[noreturn]] void ThrowNoPointer(const IID& iid) { throw CXmlError(E_POINTER, iid); }

ComPtr<IXMLDOMNode> AsNode(IUnknown* pUnknown) {
    ComPtr<IXMLDOMNode> pNode;
    Check(pUnknown->QueryInterface(IID_DomNode, reinterpret_cast<void**>(pNode.GetAddressOf())),
          IID_DomNode);
    return pNode;
}

// Appends a new element named strName to pParent, created by pDoc.
ComPtr<IXMLDOMNode> AppendElement(IXMLDOMDocument* pDoc, IXMLDOMNode* pParent,
                                  const std::wstring& strName) {
    ComPtr<IXMLDOMElement> pElement;
    CBstr name(strName);
    Check(pDoc->createElement(name, pElement.GetAddressOf()), IID_DomDocument);
    if (!pElement) ThrowNoPointer(IID_DomDocument);
    ComPtr<IXMLDOMNode> pAdded;
    Check(pParent->appendChild(pElement.Get(), pAdded.GetAddressOf()), IID_DomNode);
    if (!pAdded) ThrowNoPointer(IID_DomNode);
    return pAdded;
}

bool IsElementNamed(IXMLDOMNode* pNode, const std::wstring& strName) {
    DOMNodeType type = NODE_INVALID;
    if (FAILED(pNode->get_nodeType(&type)) || type != NODE_ELEMENT) return false;
    CBstr name;
    Check(pNode->get_nodeName(name.Out()), IID_DomNode);
    return name.Str() == strName;
}

VARIANT UnknownVariant(IUnknown* pUnknown) {
    VARIANT v;
    ::VariantInit(&v);
    v.vt = VT_UNKNOWN;
    v.punkVal = pUnknown;  // borrowed: the caller keeps its reference
    return v;
}

// A stream over a copy of the bytes, positioned at the start.
ComPtr<IStream> StreamOf(const std::string& data) {
    ComPtr<IStream> pStream;
    if (FAILED(::CreateStreamOnHGlobal(nullptr, TRUE, pStream.GetAddressOf())) || !pStream)
        return nullptr;
    ULONG nWritten = 0;
    if (!data.empty() &&
        (FAILED(pStream->Write(data.data(), static_cast<ULONG>(data.size()), &nWritten)) ||
         nWritten != data.size()))
        return nullptr;
    LARGE_INTEGER zero{};
    if (FAILED(pStream->Seek(zero, STREAM_SEEK_SET, nullptr))) return nullptr;
    return pStream;
}

// Everything written into a memory stream.
HRESULT BytesOf(IStream* pStream, std::string& data) {
    HGLOBAL hGlobal = nullptr;
    HRESULT hr = ::GetHGlobalFromStream(pStream, &hGlobal);
    if (FAILED(hr)) return hr;
    LARGE_INTEGER zero{};
    ULARGE_INTEGER end{};
    hr = pStream->Seek(zero, STREAM_SEEK_CUR, &end);
    if (FAILED(hr)) return hr;
    const char* p = static_cast<const char*>(::GlobalLock(hGlobal));
    if (!p) return E_OUTOFMEMORY;
    data.assign(p, static_cast<size_t>(end.QuadPart));
    ::GlobalUnlock(hGlobal);
    return S_OK;
}

}  // namespace

// ---- CXmlError ----

CXmlError::CXmlError(HRESULT hr, const IID& iid, std::wstring strDescription)
    : m_hr(hr), m_iid(iid), m_strDescription(std::move(strDescription)) {}

const std::wstring& CXmlError::ErrorMessage() const {
    if (m_bMessageFormed) return m_strMessage;
    m_bMessageFormed = true;
    wchar_t* pszText = nullptr;
    DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(m_hr), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
        reinterpret_cast<wchar_t*>(&pszText), 0, nullptr);
    if (n > 0 && pszText) {
        m_strMessage.assign(pszText, n);
        ::LocalFree(pszText);
        if (m_strMessage.size() > 1 && m_strMessage.back() == L'\n') {
            m_strMessage.pop_back();
            if (!m_strMessage.empty() && m_strMessage.back() == L'\r') m_strMessage.pop_back();
        }
        return m_strMessage;
    }
    if (pszText) ::LocalFree(pszText);
    wchar_t szBuf[32] = {};
    unsigned long u = static_cast<unsigned long>(m_hr);
    if (u >= 0x80040201UL && u <= 0x8004FFFFUL)
        _snwprintf(szBuf, 31, L"IDispatch error #%d", static_cast<int>(u - 0x80040200UL));
    else
        _snwprintf(szBuf, 31, L"Unknown error 0x%0lX", u);
    m_strMessage = szBuf;
    return m_strMessage;
}

std::wstring ErrorMessage(const CXmlError& error) { return error.ErrorMessage(); }

// ---- CXmlNode ----

bool CXmlNode::IsElement() const {
    DOMNodeType type = NODE_INVALID;
    return m_pNode && SUCCEEDED(m_pNode->get_nodeType(&type)) && type == NODE_ELEMENT;
}

CXmlNode CXmlNode::GetChild(const std::wstring& strName) {
    CXmlNode child;
    if (FindChild(strName, child)) return child;
    ComPtr<IXMLDOMDocument> pDoc;
    Check(m_pNode->get_ownerDocument(pDoc.GetAddressOf()), IID_DomNode);
    if (!pDoc) ThrowNoPointer(IID_DomNode);
    return CXmlNode(AppendElement(pDoc.Get(), m_pNode.Get(), strName));
}

// The first child element with the name, as the DOM's selection of the bare name
// finds it. Walking the children directly costs far less than a query per field.
bool CXmlNode::FindChild(const std::wstring& strName, CXmlNode& node) {
    if (!m_pNode) ThrowNoPointer(IID_DomNode);
    ComPtr<IXMLDOMNode> pChild;
    Check(m_pNode->get_firstChild(pChild.GetAddressOf()), IID_DomNode);
    while (pChild) {
        if (IsElementNamed(pChild.Get(), strName)) {
            node = CXmlNode(pChild);
            return true;
        }
        ComPtr<IXMLDOMNode> pNext;
        Check(pChild->get_nextSibling(pNext.GetAddressOf()), IID_DomNode);
        pChild = std::move(pNext);
    }
    return false;
}

CXmlNode CXmlNode::AddChild(const std::wstring& strName) {
    if (!m_pNode) ThrowNoPointer(IID_DomNode);
    ComPtr<IXMLDOMDocument> pDoc;
    Check(m_pNode->get_ownerDocument(pDoc.GetAddressOf()), IID_DomNode);
    if (!pDoc) ThrowNoPointer(IID_DomNode);
    return CXmlNode(AppendElement(pDoc.Get(), m_pNode.Get(), strName));
}

CXmlNodeList CXmlNode::GetChildNodes() {
    if (!m_pNode) ThrowNoPointer(IID_DomNode);
    ComPtr<IXMLDOMNodeList> pList;
    Check(m_pNode->get_childNodes(pList.GetAddressOf()), IID_DomNode);
    if (!pList) ThrowNoPointer(IID_DomNode);
    return CXmlNodeList(pList);
}

std::wstring CXmlNode::GetName() {
    if (!m_pNode) ThrowNoPointer(IID_DomNode);
    CBstr name;
    Check(m_pNode->get_nodeName(name.Out()), IID_DomNode);
    return name.Str();
}

bool CXmlNode::GetText(std::wstring& strText) {
    if (!m_pNode) return false;
    CBstr text;
    if (FAILED(m_pNode->get_text(text.Out()))) return false;
    strText = text.Str();
    return true;
}

bool CXmlNode::SetText(const std::wstring& strText) {
    if (!m_pNode) return false;
    CBstr text(strText);
    return SUCCEEDED(m_pNode->put_text(text));
}

namespace {

std::wstring ReadText(IXMLDOMNode* pNode) {
    if (!pNode) ThrowNoPointer(IID_DomNode);
    CBstr text;
    Check(pNode->get_text(text.Out()), IID_DomNode);
    return text.Str();
}

void WriteText(IXMLDOMNode* pNode, const std::wstring& strText) {
    if (!pNode) ThrowNoPointer(IID_DomNode);
    CBstr text(strText);
    Check(pNode->put_text(text), IID_DomNode);
}

}  // namespace

std::wstring CXmlNode::GetString(const wchar_t* pszDefault) {
    std::wstring strText = ReadText(m_pNode.Get());
    if (strText.empty() && pszDefault) {
        strText = pszDefault;
        WriteText(m_pNode.Get(), strText);
    }
    return strText;
}

long CXmlNode::GetInt(long nDefault) {
    std::wstring strText = ReadText(m_pNode.Get());
    if (strText.empty()) {
        strText = FormatW(L"%ld", nDefault);
        WriteText(m_pNode.Get(), strText);
    }
    return std::wcstol(strText.c_str(), nullptr, 10);
}

bool CXmlNode::GetBool(bool bDefault) {
    std::wstring strText = ReadText(m_pNode.Get());
    if (_wcsicmp(strText.c_str(), L"true") == 0) return true;
    if (_wcsicmp(strText.c_str(), L"false") == 0) return false;
    WriteText(m_pNode.Get(), bDefault ? L"true" : L"false");
    return bDefault;
}

bool CXmlNode::SetString(const std::wstring& strText) {
    if (!m_pNode) ThrowNoPointer(IID_DomNode);
    return SetText(strText);
}

bool CXmlNode::SetInt(long nValue) { return SetString(FormatW(L"%ld", nValue)); }

bool CXmlNode::SetBool(bool bValue) { return SetString(bValue ? L"true" : L"false"); }

namespace {
ComPtr<IXMLDOMElement> AsElement(IXMLDOMNode* pNode) {
    if (!pNode) ThrowNoPointer(IID_DomNode);
    ComPtr<IXMLDOMElement> pElement;
    Check(pNode->QueryInterface(IID_DomElement, reinterpret_cast<void**>(pElement.GetAddressOf())), IID_DomElement);
    return pElement;
}
}  // namespace

std::wstring CXmlNode::GetAttribute(const std::wstring& strName) {
    ComPtr<IXMLDOMElement> pElement = AsElement(m_pNode.Get());
    CBstr name(strName);
    VARIANT v;
    ::VariantInit(&v);
    Check(pElement->getAttribute(name, &v), IID_DomElement);  // S_FALSE and VT_NULL when absent
    std::wstring strValue;
    if (v.vt == VT_BSTR && v.bstrVal) strValue.assign(v.bstrVal, ::SysStringLen(v.bstrVal));
    ::VariantClear(&v);
    return strValue;
}

bool CXmlNode::SetAttribute(const std::wstring& strName, const std::wstring& strValue) {
    ComPtr<IXMLDOMElement> pElement = AsElement(m_pNode.Get());
    CBstr name(strName);
    if (strValue.empty()) {
        Check(pElement->removeAttribute(name), IID_DomElement);
        return true;
    }
    CBstr value(strValue);
    VARIANT v;
    ::VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = value;  // borrowed: value keeps it
    Check(pElement->setAttribute(name, v), IID_DomElement);
    return true;
}

bool CXmlNode::Remove() {
    if (!m_pNode) ThrowNoPointer(IID_DomNode);
    ComPtr<IXMLDOMNode> pParent;
    Check(m_pNode->get_parentNode(pParent.GetAddressOf()), IID_DomNode);
    if (!pParent) ThrowNoPointer(IID_DomNode);
    ComPtr<IXMLDOMNode> pOld;
    Check(pParent->removeChild(m_pNode.Get(), pOld.GetAddressOf()), IID_DomNode);
    return true;
}

// ---- CXmlNodeList ----

long CXmlNodeList::GetLength() {
    long n = 0;
    if (!m_pList || FAILED(m_pList->get_length(&n))) return -1;
    return n;
}

CXmlNode CXmlNodeList::GetItem(long nIndex) {
    if (!m_pList) ThrowNoPointer(IID_DomNodeList);
    ComPtr<IXMLDOMNode> pNode;
    Check(m_pList->get_item(nIndex, pNode.GetAddressOf()), IID_DomNodeList);
    return CXmlNode(pNode);
}

void CXmlNodeList::Reset() {
    if (!m_pList) ThrowNoPointer(IID_DomNodeList);
    Check(m_pList->reset(), IID_DomNodeList);
}

CXmlNode CXmlNodeList::NextNode() {
    if (!m_pList) ThrowNoPointer(IID_DomNodeList);
    ComPtr<IXMLDOMNode> pNode;
    Check(m_pList->nextNode(pNode.GetAddressOf()), IID_DomNodeList);
    return CXmlNode(pNode);
}

// ---- CXml ----

CXml::ReplaceHookFn CXml::SetReplaceHook(ReplaceHookFn fn) {
    ReplaceHookFn old = s_pfnReplaceHook;
    s_pfnReplaceHook = fn;
    return old;
}

namespace {

ComPtr<IXMLDOMProcessingInstruction> CreateDeclaration(IXMLDOMDocument2* pDoc) {
    ComPtr<IXMLDOMProcessingInstruction> pPi;
    CBstr target(L"xml");
    CBstr data(L"version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"");
    Check(pDoc->createProcessingInstruction(target, data, pPi.GetAddressOf()), IID_DomDocument);
    if (!pPi) ThrowNoPointer(IID_DomDocument);
    return pPi;
}

void AppendDeclaration(IXMLDOMDocument2* pDoc) {
    ComPtr<IXMLDOMProcessingInstruction> pPi = CreateDeclaration(pDoc);
    ComPtr<IXMLDOMNode> pAdded;
    Check(pDoc->appendChild(pPi.Get(), pAdded.GetAddressOf()), IID_DomDocument);
}

// The encoding named in a declaration's data, empty when it names none.
std::wstring EncodingOf(const std::wstring& strData) {
    size_t pos = strData.find(L"encoding");
    if (pos == std::wstring::npos) return std::wstring();
    pos = strData.find_first_of(L"\"'", pos);
    if (pos == std::wstring::npos) return std::wstring();
    size_t end = strData.find(strData[pos], pos + 1);
    if (end == std::wstring::npos) return std::wstring();
    return strData.substr(pos + 1, end - pos - 1);
}

// A file loaded with a declaration of another encoding (Latin-1, UTF-16) gets the
// UTF-8 one before it is saved: Wine's DOM writes UTF-8 whatever the declaration
// says, which would leave a file that reads back garbled or not at all.
void MakeDeclarationUtf8(IXMLDOMDocument2* pDoc) {
    ComPtr<IXMLDOMNode> pFirst;
    Check(pDoc->get_firstChild(pFirst.GetAddressOf()), IID_DomDocument);
    if (!pFirst) return;
    DOMNodeType type = NODE_INVALID;
    Check(pFirst->get_nodeType(&type), IID_DomNode);
    if (type != NODE_PROCESSING_INSTRUCTION) return;
    CBstr name;
    Check(pFirst->get_nodeName(name.Out()), IID_DomNode);
    if (name.Str() != L"xml") return;
    CBstr data;
    Check(pFirst->get_text(data.Out()), IID_DomNode);
    std::wstring strEncoding = EncodingOf(data.Str());
    if (strEncoding.empty() || _wcsicmp(strEncoding.c_str(), L"UTF-8") == 0) return;
    ComPtr<IXMLDOMProcessingInstruction> pPi = CreateDeclaration(pDoc);
    ComPtr<IXMLDOMNode> pOld;
    Check(pDoc->replaceChild(pPi.Get(), pFirst.Get(), pOld.GetAddressOf()), IID_DomDocument);
}

}  // namespace

bool CXml::Open(const std::wstring& strPath) {
    m_pDoc.Reset();
    m_nOpenResult = XML_OPEN_NONE;
    ComPtr<IUnknown> pUnknown;
    if (FAILED(::CoCreateInstance(CLSID_DomDocument30, nullptr, CLSCTX_ALL, IID_IUnknown,
                                  reinterpret_cast<void**>(pUnknown.GetAddressOf()))) ||
        !pUnknown)
        return false;
    if (FAILED(::OleRun(pUnknown.Get()))) return false;
    ComPtr<IXMLDOMDocument2> pDoc;
    if (FAILED(pUnknown->QueryInterface(IID_DomDocument2,
                                        reinterpret_cast<void**>(pDoc.GetAddressOf()))) ||
        !pDoc)
        return false;
    m_pDoc = pDoc;
    try {
        // The store reads the document right away: it must be parsed when load returns.
        Check(m_pDoc->put_async(VARIANT_FALSE), IID_DomDocument2);
        Check(m_pDoc->put_preserveWhiteSpace(VARIANT_FALSE), IID_DomDocument2);
        Check(m_pDoc->put_validateOnParse(VARIANT_FALSE), IID_DomDocument2);
        // A DTD in the file must not make start-up fetch other files or web addresses.
        Check(m_pDoc->put_resolveExternals(VARIANT_FALSE), IID_DomDocument2);
        m_strPath = strPath;

        std::string data;
        DWORD dwError = ReadWholeFile(strPath, data);
        if (dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND) {
            AppendDeclaration(m_pDoc.Get());
            m_nOpenResult = XML_OPEN_NEW;
            return true;
        }
        if (dwError != ERROR_SUCCESS) {
            // Held by another program or denied to us: the file is not damaged and must
            // not be treated as such. The document stays empty until it can be read.
            m_nOpenResult = XML_OPEN_BLOCKED;
            return false;
        }
        ComPtr<IStream> pStream = StreamOf(data);
        VARIANT_BOOL bOk = VARIANT_FALSE;
        HRESULT hr = pStream ? m_pDoc->load(UnknownVariant(pStream.Get()), &bOk) : E_OUTOFMEMORY;
        if (SUCCEEDED(hr) && bOk == VARIANT_TRUE) {
            m_nOpenResult = XML_OPEN_LOADED;
            return true;
        }
        m_nOpenResult = XML_OPEN_UNPARSED;
        ComPtr<IXMLDOMParseError> pError;
        if (SUCCEEDED(m_pDoc->get_parseError(pError.GetAddressOf())) && pError) {
            CBstr reason;
            pError->get_reason(reason.Out());
        }
        // What replaces the unreadable file is still UTF-8 with its declaration.
        VARIANT_BOOL bHasChildren = VARIANT_FALSE;
        if (SUCCEEDED(m_pDoc->hasChildNodes(&bHasChildren)) && bHasChildren == VARIANT_FALSE)
            AppendDeclaration(m_pDoc.Get());
        return false;
    } catch (const CXmlError&) {
        return false;
    }
}

bool CXml::Save(const std::wstring& strPath) {
    HRESULT hr = E_POINTER;
    // Written beside the target first, so the target is replaced whole or not at all.
    const std::wstring strTemp = strPath + L".saving";
    // Writing in place fails on a read-only file; replacing it by rename need not
    // (Wine allows it), and the user's protection would be gone with the old file.
    DWORD dwAttributes = ::GetFileAttributesW(strPath.c_str());
    if (dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_READONLY))
        hr = HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
    else if (m_pDoc) {
        std::string data;
        try {
            MakeDeclarationUtf8(m_pDoc.Get());
            ComPtr<IStream> pStream = StreamOf(data);
            hr = pStream ? m_pDoc->save(UnknownVariant(pStream.Get())) : E_OUTOFMEMORY;
            if (SUCCEEDED(hr)) hr = BytesOf(pStream.Get(), data);
        } catch (const CXmlError& error) {
            hr = error.Error();
        }
        if (SUCCEEDED(hr)) {
            DWORD dwError = WriteWholeFile(strTemp, data);
            bool bReplaced = dwError == ERROR_SUCCESS;
            if (bReplaced && s_pfnReplaceHook) bReplaced = s_pfnReplaceHook(strTemp, strPath);
            if (bReplaced) {
                bReplaced = ::MoveFileExW(strTemp.c_str(), strPath.c_str(),
                                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
                if (!bReplaced) dwError = ::GetLastError();
            }
            if (bReplaced) {
                m_strPath = strPath;
                return true;
            }
            hr = dwError ? HRESULT_FROM_WIN32(dwError) : E_FAIL;
        }
        ::DeleteFileW(strTemp.c_str());
    }
    CXmlError error(hr, IID_DomDocument2);
    TraceW(L"CXml::Save( %ls ) failed:%ls\n", strPath.c_str(), ErrorMessage(error).c_str());
    return false;
}

CXmlNode CXml::GetRoot() {
    if (!m_pDoc) ThrowNoPointer(IID_DomDocument2);
    ComPtr<IXMLDOMElement> pElement;
    Check(m_pDoc->get_documentElement(pElement.GetAddressOf()), IID_DomDocument2);
    if (pElement) return CXmlNode(AsNode(pElement.Get()));
    return CXmlNode(AppendElement(m_pDoc.Get(), m_pDoc.Get(), L"quern"));
}
