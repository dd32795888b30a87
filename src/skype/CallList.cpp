#include "skype/CallList.h"

#include <ctime>

#include "skype/SingleInstance.h"
#include "skype/SkypeStatus.h"
#include "skype/SkypeText.h"

namespace {
int64_t SystemTime() { return (int64_t)_time64(nullptr); }
}  // namespace

CCallList::CCallList() : m_fnClock(SystemTime) {}

CCallList* CCallList::GetInstance() { return CSingleInstance<CCallList>::Get(); }

void CCallList::DestroyInstance() { CSingleInstance<CCallList>::Destroy(); }

void CCallList::SetClock(ClockFn fnClock) { m_fnClock = fnClock ? std::move(fnClock) : SystemTime; }

int CCallList::FindCall(const std::wstring& strId) const {
    std::wstring strKey = TrimWhite(strId);
    if (strKey.empty()) return -1;
    for (int i = 0; i < CALL_SLOTS; ++i) {
        if (m_slots[i].m_strCallId == strKey) return i;
    }
    return -1;
}

int CCallList::AddCall(const std::wstring& strId) {
    std::wstring strKey = TrimWhite(strId);
    if (strKey.empty()) return -1;
    int nFound = FindCall(strKey);
    if (nFound >= 0) return nFound;
    for (int i = 0; i < CALL_SLOTS; ++i) {
        CCallInfo& slot = m_slots[i];
        if (!slot.m_strCallId.empty()) continue;
        slot.m_strCallId = strKey;
        slot.m_strPartner.clear();
        slot.m_tStart = m_fnClock();
        if (m_pQueue) m_pQueue->QueueCommand(L"get call " + strKey + L" partner_handle");
        return i;
    }
    return -1;
}

int CCallList::SetStatus(const std::wstring& strId, int nCode) {
    int nIndex = FindCall(strId);
    if (nIndex < 0) {
        switch (nCode) {
            case CALL_STATUS_ROUTING:
            case CALL_STATUS_EARLYMEDIA:
            case CALL_STATUS_RINGING:
            case CALL_STATUS_INPROGRESS:
            case CALL_STATUS_ONHOLD:
                nIndex = AddCall(strId);
                break;
            default:
                return -1;
        }
        if (nIndex < 0) return -1;
    }
    m_slots[nIndex].m_nStatus = nCode;
    return nIndex;
}

int CCallList::SetPartner(const std::wstring& strId, const std::wstring& strHandle) {
    int nIndex = AddCall(strId);
    if (nIndex >= 0) m_slots[nIndex].m_strPartner = strHandle;
    return nIndex;
}

int CCallList::CountActiveCalls() const {
    int nCount = 0;
    for (const CCallInfo& slot : m_slots) {
        if (!slot.m_strCallId.empty() && slot.m_nStatus != 0) ++nCount;
    }
    return nCount;
}

bool CCallList::IsCallPartner(const std::wstring& strHandle) const {
    for (const CCallInfo& slot : m_slots) {
        if (EqualsNoCase(slot.m_strPartner, strHandle)) return true;
    }
    return false;
}

int CCallList::GetStatus(int nSlot) const {
    return IsValidSlot(nSlot) ? m_slots[nSlot].m_nStatus : 0;
}

std::wstring CCallList::GetCallId(int nSlot) const {
    return IsValidSlot(nSlot) ? m_slots[nSlot].m_strCallId : std::wstring();
}

bool CCallList::IsAnyCallActive() const {
    for (const CCallInfo& slot : m_slots) {
        if (!slot.m_strCallId.empty() && IsCallStatusActive(slot.m_nStatus)) return true;
    }
    return false;
}

void CCallList::GetCurrentCall(std::wstring& strId, std::wstring& strPartner) const {
    strId.clear();
    strPartner.clear();
    int64_t tBest = m_fnClock();
    for (const CCallInfo& slot : m_slots) {
        if (slot.m_strCallId.empty() || !IsCallStatusActive(slot.m_nStatus)) continue;
        // A start time in the future (clock set back) is never chosen.
        if (slot.m_tStart <= tBest) {
            strId = slot.m_strCallId;
            strPartner = slot.m_strPartner;
            tBest = slot.m_tStart;
        }
    }
}

std::wstring CCallList::GetPartner(const std::wstring& strId) const {
    for (const CCallInfo& slot : m_slots) {
        if (slot.m_strCallId == strId) return slot.m_strPartner;
    }
    return std::wstring();
}

CCallInfo CCallList::GetSlot(int nSlot) const {
    return IsValidSlot(nSlot) ? m_slots[nSlot] : CCallInfo();
}

void CCallList::Reset() {
    for (CCallInfo& slot : m_slots) slot = CCallInfo();
}
