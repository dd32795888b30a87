#include "app/RecordRules.h"

#include <algorithm>
#include <cwctype>

#include "settings/GeneralProfile.h"
#include "skype/ContactList.h"

namespace {
bool SameHandle(const std::wstring& a, const std::wstring& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) { return towlower(x) == towlower(y); });
}

bool IsListed(const std::vector<std::wstring>& list, const std::wstring& strHandle) {
    return std::any_of(list.begin(), list.end(), [&](const std::wstring& s) { return SameHandle(s, strHandle); });
}

void Add(std::vector<std::wstring>& list, const std::wstring& strHandle) {
    if (!IsListed(list, strHandle)) list.push_back(strHandle);
}

void Remove(std::vector<std::wstring>& list, const std::wstring& strHandle) {
    std::erase_if(list, [&](const std::wstring& s) { return SameHandle(s, strHandle); });
}
}  // namespace

bool PassesRecordRule(int nMode, const std::vector<std::wstring>& list, const std::wstring& strHandle) {
    switch (nMode) {
    case RULE_RECORD_ONLY: return !strHandle.empty() && IsListed(list, strHandle);
    case RULE_RECORD_EXCEPT: return !strHandle.empty() && !IsListed(list, strHandle);
    default: return true;
    }
}

void AlwaysRecord(int& nMode, std::vector<std::wstring>& list, const std::wstring& strHandle) {
    if (strHandle.empty()) return;
    if (nMode == RULE_RECORD_ONLY)
        Add(list, strHandle);
    else if (nMode == RULE_RECORD_EXCEPT)
        Remove(list, strHandle);
}

void NeverRecord(int& nMode, std::vector<std::wstring>& list, const std::wstring& strHandle) {
    if (strHandle.empty()) return;
    if (nMode == RULE_RECORD_ONLY) {
        Remove(list, strHandle);
    } else if (nMode == RULE_RECORD_EXCEPT) {
        Add(list, strHandle);
    } else {
        // The list of another mode left behind must not start keeping others out.
        nMode = RULE_RECORD_EXCEPT;
        list = {strHandle};
    }
}

void ApplyRecordRuleChoice(CGeneralProfile& profile, const std::wstring& strHandle, bool bAlways) {
    if (bAlways)
        AlwaysRecord(profile.m_nRuleMode, profile.m_ruleList, strHandle);
    else
        NeverRecord(profile.m_nRuleMode, profile.m_ruleList, strHandle);
    profile.SaveRule();
}

std::vector<std::wstring> GetContactHandles(CContactList& contacts) {
    std::vector<std::wstring> handles;
    const int nCount = contacts.GetCount();
    for (int i = 0; i < nCount; ++i) {
        std::wstring strHandle = contacts.At(i).m_strHandle;
        if (!strHandle.empty()) handles.push_back(std::move(strHandle));
    }
    return handles;
}
