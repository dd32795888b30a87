#pragma once
// Which partner handle belongs to which call id, for the history entry of a
// recording. One per process, GUI thread only, so it has no lock.
#include <string>

#include "skype/QList.h"

struct CCallPartnerPair {
    std::wstring m_strCallId;
    std::wstring m_strHandle;
};

class CCallPartnerMap {
public:
    CCallPartnerMap() = default;
    CCallPartnerMap(const CCallPartnerMap&) = delete;
    CCallPartnerMap& operator=(const CCallPartnerMap&) = delete;

    static CCallPartnerMap* GetInstance();
    static void DestroyInstance();

    // Call ids are compared ignoring case.
    void Set(const std::wstring& strCallId, const std::wstring& strHandle);
    // The partner of the call, or the id itself when none was reported.
    std::wstring Lookup(const std::wstring& strCallId) const;
    // Comma-joined call ids to comma-joined partner handles.
    std::wstring TranslateCallIds(const std::wstring& strIds) const;
    int GetCount() const { return m_list.GetCount(); }

private:
    int Find(const std::wstring& strCallId) const;

    QList<CCallPartnerPair> m_list;
};
