// The text layer of the Skype link: the commands the recorder composes and the
// notifications it understands. Commands are queued and forgotten; replies and
// spontaneous notifications look alike and are handled whenever they arrive.
#include <cwctype>

#include "base/Log.h"
#include "base/StringUtil.h"
#include "skype/SkypeClient.h"
#include "skype/SkypeText.h"

void CSkypeClient::QueryFullName(const std::wstring& strHandle) {
    std::wstring strTrimmed = TrimWhite(strHandle);
    if (strTrimmed.empty()) return;
    QueueCommand(L"get user " + strTrimmed + L" fullname");
}

void CSkypeClient::QueryCallStatus(const std::wstring& strId) {
    QueueCommand(L"get call " + strId + L" status");
}

void CSkypeClient::QueryCallPartner(const std::wstring& strId) {
    QueueCommand(L"get call " + strId + L" partner_handle");
}

void CSkypeClient::QueryCallType(const std::wstring& strId) {
    QueueCommand(L"get call " + strId + L" type");
}

void CSkypeClient::QueryCallTarget(const std::wstring& strId) {
    QueueCommand(L"get call " + strId + L" target_identity");
}

void CSkypeClient::QueryConfParticipantsCount(const std::wstring& strId) {
    QueueCommand(L"get call " + strId + L" conf_participants_count");
}

void CSkypeClient::QueryConfParticipant(const std::wstring& strId, const std::wstring& strIndex) {
    QueueCommand(L"get call " + strId + L" conf_participant " + strIndex);
}

void CSkypeClient::QueryCallDetails(const std::wstring& strId) {
    QueryCallPartner(strId);
    QueryCallType(strId);
    QueryCallStatus(strId);
    QueryConfParticipantsCount(strId);
}

bool CSkypeClient::RedirectMicrophone(const std::wstring& strId, const std::wstring& strPort) {
    QueueCommand(L"alter call " + strId + L" set_capture_mic port=\"" + strPort + L"\"");
    return true;
}

bool CSkypeClient::RedirectOutput(const std::wstring& strId, const std::wstring& strPort) {
    QueueCommand(L"alter call " + strId + L" set_output soundcard=\"default\" port=\"" + strPort +
                 L"\"");
    return true;
}

void CSkypeClient::ParseNotification(const std::wstring& strText) {
    std::wstring strLine = TrimWhite(strText);
    if (strLine.empty()) return;
    // Only U+0020 separates words; a one-word text (OK, PONG ) carries nothing.
    size_t nBlank = strLine.find(L' ');
    if (nBlank == std::wstring::npos) return;
    std::wstring strKeyword = ToLowerW(std::wstring_view(strLine).substr(0, nBlank));
    std::wstring strRest = TrimWhite(std::wstring_view(strLine).substr(nBlank + 1));

    if (strKeyword == L"users") {
        OnUsers(strRest);
    } else if (strKeyword == L"user") {
        OnUser(strRest);
    } else if (strKeyword == L"connstatus") {
        OnStatus(strRest, true);
    } else if (strKeyword == L"call") {
        OnCall(strRest);
    } else if (strKeyword == L"userstatus") {
        OnStatus(strRest, false);
    } else if (strKeyword == L"currentuserhandle") {
        m_strCurrentUser = strRest;
        PostEvent(WM_SKYPE_CURRENT_USER, 0, 0);
    } else if (strKeyword == L"error") {
        // Not tied to the command that caused it; nothing to do.
    } else if (strKeyword == L"skypeversion") {
        m_strSkypeVersion = strRest;
        PostEvent(WM_SKYPE_VERSION, 0, 0);
    }
}

void CSkypeClient::OnUsers(const std::wstring& strRest) {
    // Only the answer to our own "search friends" is taken.
    if (!m_bFriendsRequested) return;
    auto addFriend = [this](const std::wstring& strHandle) {
        if (strHandle.empty()) return;  // ", , " between two names holds no handle
        m_pContacts->AddContact(strHandle);
        QueryFullName(strHandle);
    };
    // Walk the list by position: copying the rest after every handle made a
    // long list cost the square of its length.
    std::wstring_view strList(strRest);
    size_t nPos = 0, nSep;
    while ((nSep = strList.find(L", ", nPos)) != std::wstring_view::npos) {
        addFriend(std::wstring(strList.substr(nPos, nSep - nPos)));
        // The rest after the comma, trimmed; its end is already trimmed.
        nPos = nSep + 1;
        while (nPos < strList.size() && std::iswspace(strList[nPos])) ++nPos;
    }
    addFriend(std::wstring(strList.substr(nPos)));
}

void CSkypeClient::OnUser(const std::wstring& strRest) {
    size_t nBlank = strRest.find(L' ');
    if (nBlank == std::wstring::npos) return;
    std::wstring strHandle = strRest.substr(0, nBlank);
    std::wstring strProp = TrimWhite(std::wstring_view(strRest).substr(nBlank + 1));

    size_t nValue = strProp.find(L' ');
    if (nValue == std::wstring::npos) {
        // FULLNAME without a value: the handle is the best name there is.
        if (ToUpperW(strProp) == L"FULLNAME") m_pContacts->SetFullName(strHandle, strHandle);
    } else {
        std::wstring strName = ToUpperW(std::wstring_view(strProp).substr(0, nValue));
        std::wstring strValue = TrimWhite(std::wstring_view(strProp).substr(nValue + 1));
        if (strName == L"FULLNAME") {
            // The user's own name is never stored. Call partners' names are,
            // so recordings show names even for partners who are not friends.
            if (strHandle != m_strCurrentUser) m_pContacts->SetFullName(strHandle, strValue);
        } else if (strName == L"ONLINESTATUS") {
            bool bKnown = false;
            int nCode = ContactStatusFromWord(ToUpperW(strValue), &bKnown);
            if (!bKnown) TraceW(L"\n==============OnlineStatus===============\n");
            m_pContacts->SetOnlineStatus(strHandle, nCode);
        } else if (strName == L"BUDDYSTATUS") {
            int nBuddy = ParseLeadingInt(strValue);
            if (nBuddy == 1) {
                m_pContacts->RemoveContact(strHandle);
            } else if (nBuddy == 2 || nBuddy == 3) {
                m_pContacts->AddContact(strHandle);
                QueryFullName(strHandle);
            }
        }
    }
    RestartContactsTimer();
}

void CSkypeClient::RestartContactsTimer() {
    // One WM_SKYPE_CONTACTS_CHANGED a second after the last of a burst.
    if (m_nContactsTimer) m_pHost->StopTimer(m_nContactsTimer);
    m_nContactsTimer = m_pHost->StartTimer(this, CONTACTS_DEBOUNCE_MS);
}

void CSkypeClient::OnStatus(const std::wstring& strRest, bool bConnStatus) {
    int nCode = UserStatusFromWord(ToUpperW(strRest));
    m_nUserStatus = nCode;
    if (bConnStatus) LogLine(L"Skype connection status %s", strRest.c_str());
    // Logged out: nothing can be sent any more until Skype attaches us again.
    if (bConnStatus && nCode == USER_STATUS_LOGGEDOUT) m_bAttached = false;
    PostEvent(WM_SKYPE_USER_STATUS, (WPARAM)nCode, 0);
}

void CSkypeClient::OnCall(const std::wstring& strRest) {
    size_t nFirst = strRest.find(L' ');
    if (nFirst == std::wstring::npos) return;
    size_t nSecond = strRest.find(L' ', nFirst + 1);
    if (nSecond == std::wstring::npos) return;  // a property without a value
    std::wstring strId = strRest.substr(0, nFirst);
    std::wstring strProp =
        ToUpperW(std::wstring_view(strRest).substr(nFirst + 1, nSecond - nFirst - 1));
    std::wstring strValue = strRest.substr(nSecond + 1);

    if (strProp == L"STATUS") {
        OnCallStatus(strId, strValue);
    } else if (strProp == L"PARTNER_HANDLE") {
        OnCallPartner(strId, strValue);
    } else if (strProp == L"DTMF") {
        OnCallDtmf(strId, strValue);
    } else if (strProp == L"DURATION") {
        m_strDuration = strValue;
        // A call running before we attached: learn everything about it.
        if (m_pCallList->CountActiveCalls() == 0) QueryCallDetails(strId);
    } else if (strProp == L"CONF_PARTICIPANTS_COUNT") {
        if (m_pCallList->CountActiveCalls() == 0) return;
        if (ParseLeadingInt(strValue) >= 2) {
            QueryConfParticipant(strId, L"0");
            QueryConfParticipant(strId, L"1");
        }
    } else if (strProp == L"CONF_PARTICIPANT") {
        OnCallConfParticipant(strValue);
    } else if (strProp == L"TYPE") {
        OnCallType(strValue);
    }
}

void CSkypeClient::OnCallStatus(const std::wstring& strId, const std::wstring& strValue) {
    int nCode = CallStatusFromWord(ToUpperW(strValue));
    if (nCode == CALL_STATUS_ROUTING || nCode == CALL_STATUS_RINGING) {
        QueryCallType(strId);
        m_strRoutedCall = strId;
    } else if (nCode == CALL_STATUS_INPROGRESS) {
        QueryCallType(strId);
        QueryCallTarget(strId);
        QueryCallPartner(strId);
    }
    int nSlot = m_pCallList->SetStatus(strId, nCode);
    LogLine(L"call %s status %s (slot %d)", strId.c_str(), strValue.c_str(), nSlot);
    PostEvent(WM_SKYPE_CALL, (WPARAM)(INT_PTR)nSlot, SKYPE_CALL_STATUS);
}

void CSkypeClient::OnCallPartner(const std::wstring& strId, const std::wstring& strValue) {
    m_pPartnerMap->Set(strId, strValue);
    int nSlot = m_pCallList->SetPartner(strId, strValue);
    m_pContacts->AddContact(strValue);
    QueryFullName(strValue);
    m_strLastPartner = strValue;
    PostEvent(WM_SKYPE_CALL, (WPARAM)(INT_PTR)nSlot, SKYPE_CALL_PARTNER);
}

void CSkypeClient::OnCallDtmf(const std::wstring& strId, const std::wstring& strValue) {
    std::wstring strKey = TrimWhite(strValue);
    if (strKey.size() != 1) return;
    int nSlot = m_pCallList->AddCall(strId);
    PostEvent(WM_SKYPE_DTMF, (WPARAM)(INT_PTR)nSlot, (LPARAM)(unsigned)strKey[0]);
}

void CSkypeClient::OnCallConfParticipant(const std::wstring& strValue) {
    // index, blank, handle, blank, further words
    size_t nFirst = strValue.find(L' ');
    if (nFirst == std::wstring::npos) return;  // no handle at all
    size_t nSecond = strValue.find(L' ', nFirst + 1);
    std::wstring strIndex = strValue.substr(0, nFirst);
    std::wstring strHandle = strValue.substr(
        nFirst + 1, nSecond == std::wstring::npos ? std::wstring::npos : nSecond - nFirst - 1);
    if (EqualsNoCase(strIndex, L"0")) {
        m_strConfParticipant0 = strHandle;
    } else {
        m_strConfParticipant1 = strHandle;
    }
}

void CSkypeClient::OnCallType(const std::wstring& strValue) {
    if (strValue.empty()) return;
    if (EqualsNoCase(strValue, L"incoming_p2p")) {
        m_bIncomingCall = true;
        PostEvent(WM_SKYPE_INCOMING_P2P, 0, 0);
    } else if (EqualsNoCase(strValue, L"incoming_pstn")) {
        m_bIncomingCall = true;
        PostEvent(WM_SKYPE_INCOMING_PSTN, 0, 0);
    } else {
        m_bIncomingCall = false;
    }
}
