#pragma once
// Every handle the recorder has heard of (friends, buddy changes, call
// partners) with its full name and online status. One per process; every
// operation holds the list's own lock.
#include <string>

#include "base/Lock.h"
#include "skype/QList.h"

struct CContactInfo {
    std::wstring m_strHandle;
    std::wstring m_strFullName;
    int m_nOnlineStatus = 0;
};

class CContactList {
public:
    CContactList() = default;
    ~CContactList();
    CContactList(const CContactList&) = delete;
    CContactList& operator=(const CContactList&) = delete;

    static CContactList* GetInstance();
    static void DestroyInstance();

    // Appends the handle unless it is listed (exact comparison). A handle that
    // starts with "+" is a phone number and starts as USER_STATUS_SKYPEOUT.
    void AddContact(const std::wstring& strHandle);
    // Stores the name of the listed handle and returns its index; an unknown
    // handle is appended with status 0 and the result is -1.
    int SetFullName(const std::wstring& strHandle, const std::wstring& strName);
    // Handles compared ignoring case; unknown handles are not added.
    bool SetOnlineStatus(const std::wstring& strHandle, int nCode);
    bool RemoveContact(const std::wstring& strHandle);
    std::wstring GetFullName(const std::wstring& strHandle);
    // "name | name | ..." for a comma-joined list of handles; a handle without
    // a stored name stands for itself.
    std::wstring FormatDisplayNames(const std::wstring& strHandles);

    int GetCount();
    CContactInfo At(int nIndex);

private:
    int FindExact(const std::wstring& strHandle) const;

    CCriticalSection m_cs;
    QList<CContactInfo> m_list;
};

// Calls fn(piece) for every maximal run of characters other than ',' (empty
// pieces skipped, pieces not trimmed).
template <typename Fn>
void ForEachCommaPiece(const std::wstring& strList, Fn fn) {
    size_t nPos = 0;
    while (nPos < strList.size()) {
        size_t nComma = strList.find(L',', nPos);
        if (nComma == std::wstring::npos) nComma = strList.size();
        if (nComma > nPos) fn(strList.substr(nPos, nComma - nPos));
        nPos = nComma + 1;
    }
}
