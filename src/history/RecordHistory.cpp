#include "history/RecordHistory.h"

#include <cwchar>
#include <unordered_set>

#include "base/StringUtil.h"

CRecordHistory* CRecordHistory::s_pInstance = nullptr;

namespace {

CRecordHistory::ClockFn s_pfnClock = nullptr;

time_t Now() { return s_pfnClock ? s_pfnClock() : time(nullptr); }

// Stored files carry the line breaks of a note as this word.
const wchar_t NOTE_LINE_BREAK[] = L"alinedd";
const wchar_t ONESIDED_ATTRIBUTE[] = L"onesided";

std::wstring ReplaceAll(std::wstring strText, const std::wstring& strFrom,
                        const std::wstring& strTo) {
    size_t pos = 0;
    while ((pos = strText.find(strFrom, pos)) != std::wstring::npos) {
        strText.replace(pos, strFrom.size(), strTo);
        pos += strTo.size();
    }
    return strText;
}

// XML 1.0 cannot carry most control characters, U+FFFE, U+FFFF or half a surrogate
// pair: written as they are, they leave a record.xml that no longer parses, and the
// whole history is gone from view at the next start. They are stored as U+FFFD, and
// searches map them the same way so the entry is still found by the caller's text.
std::wstring XmlSafe(std::wstring strText) {
    for (size_t i = 0; i < strText.size(); ++i) {
        wchar_t c = strText[i];
        bool bHigh = c >= 0xD800 && c <= 0xDBFF;
        bool bLow = c >= 0xDC00 && c <= 0xDFFF;
        if (bHigh && i + 1 < strText.size() && strText[i + 1] >= 0xDC00 &&
            strText[i + 1] <= 0xDFFF) {
            ++i;
            continue;
        }
        if ((c < 0x20 && c != L'\t' && c != L'\n' && c != L'\r') || c == 0xFFFE || c == 0xFFFF ||
            bHigh || bLow)
            strText[i] = 0xFFFD;
    }
    return strText;
}

bool SameText(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                  static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

std::wstring FormatTime(time_t t, bool bUtc, const wchar_t* pszFormat) {
    struct tm tmTime = {};
    if ((bUtc ? gmtime_s(&tmTime, &t) : localtime_s(&tmTime, &t)) != 0) return std::wstring();
    wchar_t szBuf[32] = {};
    if (wcsftime(szBuf, 32, pszFormat, &tmTime) == 0) return std::wstring();
    return szBuf;
}

// Setters report a DOM failure as false; inside a store operation it aborts the operation.
void Require(bool bOk) {
    if (!bOk) throw CXmlError(E_FAIL, IID_NULL);
}

// A file held for a moment (a backup, a virus scanner) is read on one of these tries.
constexpr int OPEN_TRIES = 3;
constexpr DWORD OPEN_RETRY_MS = 100;

// The record element of the list with this name and time (any letter case).
bool FindEntry(CXmlNode list, const std::wstring& strName, const std::wstring& strTime,
               CXmlNode& node) {
    CXmlNodeList children = list.GetChildNodes();
    long nCount = children.GetLength();
    children.Reset();
    for (long i = 0; i < nCount; ++i) {
        CXmlNode child = children.NextNode();
        if (child.IsNull()) break;
        if (!child.IsElement()) continue;
        if (SameText(child.GetChild(L"name").GetString(), strName) &&
            SameText(child.GetChild(L"time").GetString(), strTime)) {
            node = child;
            return true;
        }
    }
    return false;
}

}  // namespace

CRecordHistory* CRecordHistory::GetInstance() {
    if (!s_pInstance) s_pInstance = new CRecordHistory();
    return s_pInstance;
}

void CRecordHistory::DestroyInstance() {
    delete s_pInstance;
    s_pInstance = nullptr;
}

CRecordHistory::ClockFn CRecordHistory::SetClock(ClockFn fn) {
    ClockFn old = s_pfnClock;
    s_pfnClock = fn;
    return old;
}

void CRecordHistory::ForgetWalk() {
    m_walkList = CXmlNodeList();
    m_nWalkNext = -1;
}

void CRecordHistory::Open(const std::wstring& strPath) {
    CLock lock(m_lock);
    ForgetWalk();
    m_strPath = strPath;
    m_bKeepUnreadable = false;
    m_bBlocked = false;
    m_bUnsaved = false;
    m_nTakenIn = 0;
    if (strPath.empty()) return;
    if (!OpenFile(m_xml)) TraceW(L"rec xml file open failed\n");
    // A file that could not be read is tried again before anything is saved over it;
    // one that does not parse is kept aside before the next save replaces it.
    m_bBlocked = m_xml.GetOpenResult() == CXml::XML_OPEN_BLOCKED;
    m_bKeepUnreadable = m_xml.GetOpenResult() == CXml::XML_OPEN_UNPARSED;
}

bool CRecordHistory::OpenFile(CXml& xml) {
    for (int nTry = 1;; ++nTry) {
        bool bOk = xml.Open(m_strPath);
        if (xml.GetOpenResult() != CXml::XML_OPEN_BLOCKED || nTry == OPEN_TRIES) return bOk;
        ::Sleep(OPEN_RETRY_MS);
    }
}

bool CRecordHistory::RetryBlocked() {
    CLock lock(m_lock);
    if (!TakeInBlockedFile()) return false;
    if (m_bUnsaved) SaveDocument();
    return true;
}

bool CRecordHistory::TakeInBlockedFile() {
    if (!m_bBlocked) return true;
    CXml file;
    file.Open(m_strPath);
    if (file.GetOpenResult() == CXml::XML_OPEN_BLOCKED || !file.HasDocument()) return false;
    int nTakenIn = 0;
    try {
        CXmlNode fileList = file.GetRoot().GetChild(L"list");
        nTakenIn = static_cast<int>(fileList.GetChildNodes().GetLength());
        // What was added meanwhile follows the file's own entries, as it came later.
        CXmlNodeList mine = GetList().GetChildNodes();
        mine.Reset();
        for (CXmlNode rec = mine.NextNode(); !rec.IsNull(); rec = mine.NextNode()) {
            if (!rec.IsElement()) continue;
            RecordEntry entry;
            ReadEntry(rec, entry);
            CXmlNode found;
            if (FindEntry(fileList, XmlSafe(entry.m_strName), XmlSafe(entry.m_strTime), found))
                continue;
            CXmlNode added = fileList.AddChild(NewRecordName(fileList));
            WriteEntry(added, entry);
        }
    } catch (const CXmlError&) {
        TraceW(L"add record exception\n");
        return false;
    }
    m_bKeepUnreadable = file.GetOpenResult() == CXml::XML_OPEN_UNPARSED;
    m_xml = std::move(file);
    m_bBlocked = false;
    m_nTakenIn = nTakenIn;
    ForgetWalk();
    return true;
}

CXmlNode CRecordHistory::GetList() { return m_xml.GetRoot().GetChild(L"list"); }

int CRecordHistory::GetCount() {
    CLock lock(m_lock);
    if (!m_xml.HasDocument()) return 0;
    try {
        return static_cast<int>(GetList().GetChildNodes().GetLength());
    } catch (const CXmlError&) {
        return -1;
    }
}

bool CRecordHistory::GetRecord(int nIndex, RecordEntry& entry) {
    CLock lock(m_lock);
    try {
        // Start-up reads 0, 1, 2...: walking the list keeps that linear, where the
        // DOM's access by index counts from the start every time.
        CXmlNode rec;
        if (nIndex == m_nWalkNext && !m_walkList.IsNull()) {
            rec = m_walkList.NextNode();
            ++m_nWalkNext;
        } else {
            ForgetWalk();
            CXmlNodeList children = GetList().GetChildNodes();
            if (nIndex == 0) {
                children.Reset();
                rec = children.NextNode();
                m_walkList = children;
                m_nWalkNext = 1;
            } else {
                rec = children.GetItem(nIndex);
            }
        }
        // Text or a comment between the entries has no fields to read.
        if (!rec.IsNull() && !rec.IsElement()) throw CXmlError(E_INVALIDARG, IID_NULL);
        ReadEntry(rec, entry);
        return true;
    } catch (const CXmlError&) {
        TraceW(L"read record xml exception\n");
        return false;
    }
}

void CRecordHistory::ReadEntry(CXmlNode& rec, RecordEntry& entry) {
    entry.m_strName = rec.GetChild(L"name").GetString();
    entry.m_strTime = rec.GetChild(L"time").GetString();
    entry.m_strFile = rec.GetChild(L"file").GetString();
    entry.m_nType = static_cast<int>(rec.GetChild(L"type").GetInt(0));
    entry.m_bNew = rec.GetChild(L"new").GetBool(false);
    entry.m_nDuration = static_cast<int>(rec.GetChild(L"duration").GetInt(0));
    entry.m_strNote = ReplaceAll(rec.GetChild(L"note").GetString(), NOTE_LINE_BREAK, L"\r\n");
    entry.m_strOneSided = rec.GetAttribute(ONESIDED_ATTRIBUTE);
}

void CRecordHistory::WriteEntry(CXmlNode& rec, const RecordEntry& entry) {
    Require(rec.GetChild(L"name").SetString(XmlSafe(entry.m_strName)));
    Require(rec.GetChild(L"time").SetString(XmlSafe(entry.m_strTime)));
    Require(rec.GetChild(L"file").SetString(XmlSafe(entry.m_strFile)));
    Require(rec.GetChild(L"type").SetInt(entry.m_nType));
    Require(rec.GetChild(L"duration").SetInt(entry.m_nDuration));
    Require(rec.GetChild(L"new").SetBool(entry.m_bNew));
    Require(rec.GetChild(L"note").SetString(
        XmlSafe(ReplaceAll(entry.m_strNote, L"\r\n", NOTE_LINE_BREAK))));
    Require(rec.SetAttribute(ONESIDED_ATTRIBUTE, XmlSafe(entry.m_strOneSided)));
}

std::wstring CRecordHistory::NewRecordName(CXmlNode& list) {
    const std::wstring strBase = L"rec" + FormatTime(Now(), true, L"%Y%m%d%H%M%S");
    // Two entries of the same second must not share an element.
    std::wstring strName = strBase;
    CXmlNode existing;
    for (int n = 2; list.FindChild(strName, existing); ++n)
        strName = FormatW(L"%ls_%d", strBase.c_str(), n);
    return strName;
}

bool CRecordHistory::AddRecord(const RecordEntry& entry) {
    CXmlNode found;
    if (SearchNode(entry.m_strName, entry.m_strTime, found)) return false;
    CLock lock(m_lock);
    ForgetWalk();
    CXmlNode rec;
    try {
        CXmlNode list = GetList();
        rec = list.AddChild(NewRecordName(list));
        WriteEntry(rec, entry);
    } catch (const CXmlError&) {
        TraceW(L"add record exception\n");
        // A half-written entry would be saved with the next change.
        if (!rec.IsNull()) {
            try {
                rec.Remove();
            } catch (const CXmlError&) {
            }
        }
        return false;
    }
    // A failed save keeps the entry in memory for the next one.
    SaveDocument();
    return true;
}

bool CRecordHistory::SearchNode(const std::wstring& strName, const std::wstring& strTime,
                                CXmlNode& node) {
    CLock lock(m_lock);
    bool bFound = false;
    const std::wstring strSafeName = XmlSafe(strName);
    const std::wstring strSafeTime = XmlSafe(strTime);
    try {
        bFound = FindEntry(GetList(), strSafeName, strSafeTime, node);
    } catch (const CXmlError&) {
        TraceW(L"SearchNode REC Exception\n");
    }
    return bFound;
}

bool CRecordHistory::DeleteRecord(const std::wstring& strName, const std::wstring& strTime) {
    CXmlNode node;
    if (!SearchNode(strName, strTime, node)) return false;
    CLock lock(m_lock);
    ForgetWalk();
    try {
        node.Remove();
    } catch (const CXmlError&) {
        return false;
    }
    SaveDocument();
    return true;
}

namespace {
// The key two entries share when SameText calls their names and times equal.
std::wstring EntryKey(const std::wstring& strName, const std::wstring& strTime) {
    std::wstring strKey = strName + L'\n' + strTime;
    if (!strKey.empty())
        ::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, strKey.data(), static_cast<int>(strKey.size()),
                        strKey.data(), static_cast<int>(strKey.size()), nullptr, nullptr, 0);
    return strKey;
}
}  // namespace

int CRecordHistory::DeleteRecords(const std::vector<RecordEntry>& entries) {
    std::unordered_set<std::wstring> keys;
    for (const RecordEntry& entry : entries) keys.insert(EntryKey(XmlSafe(entry.m_strName), XmlSafe(entry.m_strTime)));
    CLock lock(m_lock);
    ForgetWalk();
    int nRemoved = 0;
    try {
        std::vector<CXmlNode> found;
        CXmlNodeList children = GetList().GetChildNodes();
        children.Reset();
        for (CXmlNode child = children.NextNode(); !child.IsNull(); child = children.NextNode()) {
            if (child.IsElement() &&
                keys.count(EntryKey(child.GetChild(L"name").GetString(), child.GetChild(L"time").GetString())))
                found.push_back(child);
        }
        for (CXmlNode& node : found) {
            node.Remove();
            ++nRemoved;
        }
    } catch (const CXmlError&) {
        TraceW(L"delete records exception\n");
        if (nRemoved == 0) return -1;
    }
    if (nRemoved > 0) SaveDocument();
    return nRemoved;
}

bool CRecordHistory::MarkRecordRead(const std::wstring& strName, const std::wstring& strTime) {
    CXmlNode node;
    if (!SearchNode(strName, strTime, node)) return false;
    CLock lock(m_lock);
    try {
        Require(node.GetChild(L"new").SetString(L"false"));
    } catch (const CXmlError&) {
        return false;
    }
    SaveDocument();
    return true;
}

bool CRecordHistory::KeepUnreadableFile() {
    // Named after the local time the user will look for; an earlier copy is never replaced.
    const std::wstring strBase =
        m_strPath + L".unreadable-" + FormatTime(Now(), false, L"%Y%m%d-%H%M%S");
    for (int n = 1; n < 1000; ++n) {
        std::wstring strCopy = n == 1 ? strBase : FormatW(L"%ls-%d", strBase.c_str(), n);
        if (::CopyFileW(m_strPath.c_str(), strCopy.c_str(), TRUE)) return true;
        DWORD dwError = ::GetLastError();
        if (dwError == ERROR_FILE_EXISTS || dwError == ERROR_ALREADY_EXISTS) continue;
        // Gone since it was opened: nothing left to keep.
        if (dwError == ERROR_FILE_NOT_FOUND) return true;
        CXmlError error(HRESULT_FROM_WIN32(dwError), IID_NULL);
        TraceW(L"CXml::Save( %ls ) failed:%ls\n", m_strPath.c_str(), ErrorMessage(error).c_str());
        return false;
    }
    return false;
}

bool CRecordHistory::SaveDocument() {
    m_bUnsaved = true;
    // Never over a file not yet read: its entries would be gone.
    if (m_bBlocked && !TakeInBlockedFile()) return false;
    if (m_bKeepUnreadable) {
        // Without a kept copy the unreadable file stays as it is and the change stays in memory.
        if (!KeepUnreadableFile()) return false;
        m_bKeepUnreadable = false;
    }
    if (!m_xml.Save(m_strPath)) return false;
    m_bUnsaved = false;
    return true;
}
