#include "skype/CallPartnerMap.h"

#include "skype/ContactList.h"
#include "skype/SingleInstance.h"
#include "skype/SkypeText.h"

CCallPartnerMap* CCallPartnerMap::GetInstance() { return CSingleInstance<CCallPartnerMap>::Get(); }

void CCallPartnerMap::DestroyInstance() { CSingleInstance<CCallPartnerMap>::Destroy(); }

int CCallPartnerMap::Find(const std::wstring& strCallId) const {
    return m_list.FindIndex(
        [&](const CCallPartnerPair& p) { return EqualsNoCase(p.m_strCallId, strCallId); });
}

void CCallPartnerMap::Set(const std::wstring& strCallId, const std::wstring& strHandle) {
    int nIndex = Find(strCallId);
    if (nIndex >= 0) {
        CCallPartnerPair pair = m_list.At(nIndex);  // the first spelling of the id stays
        pair.m_strHandle = strHandle;
        m_list.Replace(nIndex, pair);
    } else {
        m_list.Append(CCallPartnerPair{strCallId, strHandle});
    }
}

std::wstring CCallPartnerMap::Lookup(const std::wstring& strCallId) const {
    int nIndex = Find(strCallId);
    return nIndex < 0 ? strCallId : m_list.At(nIndex).m_strHandle;
}

std::wstring CCallPartnerMap::TranslateCallIds(const std::wstring& strIds) const {
    std::wstring strResult;
    ForEachCommaPiece(strIds, [&](const std::wstring& strPiece) {
        if (!strResult.empty()) strResult += L",";
        strResult += Lookup(strPiece);
    });
    return strResult;
}
