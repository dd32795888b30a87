#include "skype/ContactList.h"

#include "skype/SingleInstance.h"
#include "skype/SkypeStatus.h"
#include "skype/SkypeText.h"

CContactList* CContactList::GetInstance() { return CSingleInstance<CContactList>::Get(); }

void CContactList::DestroyInstance() { CSingleInstance<CContactList>::Destroy(); }

CContactList::~CContactList() {
    CLock lock(m_cs);  // the nodes go under the lock; the lock itself goes last
    m_list.Clear();
}

int CContactList::FindExact(const std::wstring& strHandle) const {
    return m_list.FindIndex([&](const CContactInfo& c) { return c.m_strHandle == strHandle; });
}

void CContactList::AddContact(const std::wstring& strHandle) {
    CLock lock(m_cs);
    if (FindExact(strHandle) >= 0) return;
    CContactInfo info;
    info.m_strHandle = strHandle;
    info.m_nOnlineStatus =
        (!strHandle.empty() && strHandle[0] == L'+') ? USER_STATUS_SKYPEOUT : USER_STATUS_UNKNOWN;
    m_list.Append(info);
}

int CContactList::SetFullName(const std::wstring& strHandle, const std::wstring& strName) {
    CLock lock(m_cs);
    int nIndex = FindExact(strHandle);
    if (nIndex >= 0) {
        CContactInfo info = m_list.At(nIndex);
        info.m_strFullName = strName;
        m_list.Replace(nIndex, info);
        return nIndex;
    }
    CContactInfo info;
    info.m_strHandle = strHandle;
    info.m_strFullName = strName;
    m_list.Append(info);
    return -1;
}

bool CContactList::SetOnlineStatus(const std::wstring& strHandle, int nCode) {
    CLock lock(m_cs);
    int nIndex = m_list.FindIndex(
        [&](const CContactInfo& c) { return EqualsNoCase(c.m_strHandle, strHandle); });
    if (nIndex < 0) return false;
    CContactInfo info = m_list.At(nIndex);
    info.m_nOnlineStatus = nCode;
    return m_list.Replace(nIndex, info);
}

bool CContactList::RemoveContact(const std::wstring& strHandle) {
    CLock lock(m_cs);
    int nIndex = FindExact(strHandle);
    if (nIndex < 0) return false;
    m_list.Remove2(nIndex);
    return true;
}

std::wstring CContactList::GetFullName(const std::wstring& strHandle) {
    CLock lock(m_cs);
    int nIndex = FindExact(strHandle);
    return nIndex < 0 ? std::wstring() : m_list.At(nIndex).m_strFullName;
}

std::wstring CContactList::FormatDisplayNames(const std::wstring& strHandles) {
    std::wstring strResult;
    ForEachCommaPiece(strHandles, [&](const std::wstring& strPiece) {
        std::wstring strName = GetFullName(strPiece);  // locks per piece
        if (strName.empty()) strName = strPiece;
        if (!strResult.empty()) strResult += L" | ";
        strResult += strName;
    });
    return strResult;
}

int CContactList::GetCount() {
    CLock lock(m_cs);
    return m_list.GetCount();
}

CContactInfo CContactList::At(int nIndex) {
    CLock lock(m_cs);
    return m_list.At(nIndex);
}
