#include "SimSkype.h"

#include <cwctype>

#include "base/StringUtil.h"

namespace {

const wchar_t* const SIM_SKYPE_VERSION = L"4.2.0.187";

bool IsHold(const std::wstring& s) { return s == L"ONHOLD" || s == L"LOCALHOLD" || s == L"REMOTEHOLD"; }

bool IsEnded(const std::wstring& s) {
    return s == L"FINISHED" || s == L"MISSED" || s == L"REFUSED" || s == L"BUSY" || s == L"CANCELLED" ||
           s == L"FAILED";
}

// Decimal number without sign; -1 when the text is not one.
long long ParseCount(const std::wstring& s) {
    if (s.empty() || s.size() > 9) return -1;
    long long n = 0;
    for (wchar_t c : s) {
        if (c < L'0' || c > L'9') return -1;
        n = n * 10 + (c - L'0');
    }
    return n;
}

// The value of port="p" (or port=p) among the parameters; 0 when absent, -1 when malformed.
int FindPort(const std::wstring& strParams) {
    std::wstring upper = UpperW(strParams);
    size_t pos = upper.find(L"PORT=");
    if (pos == std::wstring::npos) return 0;
    pos += 5;
    std::wstring value;
    if (pos < strParams.size() && strParams[pos] == L'"') {
        size_t end = strParams.find(L'"', pos + 1);
        if (end == std::wstring::npos) return -1;
        value = strParams.substr(pos + 1, end - pos - 1);
    } else {
        size_t end = strParams.find_first_of(L" \t", pos);
        value = strParams.substr(pos, end == std::wstring::npos ? std::wstring::npos : end - pos);
    }
    long long n = ParseCount(value);
    return n >= 1 && n <= 65535 ? static_cast<int>(n) : -1;
}

}  // namespace

std::wstring UpperW(std::wstring s) {
    for (wchar_t& c : s) c = static_cast<wchar_t>(std::towupper(c));
    return s;
}

bool EqualNoCase(const std::wstring& a, const std::wstring& b) { return UpperW(a) == UpperW(b); }

std::vector<std::wstring> SplitWords(const std::wstring& strText, std::vector<size_t>* pStarts) {
    std::vector<std::wstring> words;
    size_t i = 0;
    while (i < strText.size()) {
        while (i < strText.size() && (strText[i] == L' ' || strText[i] == L'\t')) ++i;
        if (i >= strText.size()) break;
        size_t start = i;
        while (i < strText.size() && strText[i] != L' ' && strText[i] != L'\t') ++i;
        words.push_back(strText.substr(start, i - start));
        if (pStarts) pStarts->push_back(start);
    }
    return words;
}

ECallAudio AudioForStatus(const std::wstring& strStatus) {
    if (strStatus == L"INPROGRESS") return CALLAUDIO_RUN;
    if (IsHold(strStatus)) return CALLAUDIO_HOLD;
    if (IsEnded(strStatus)) return CALLAUDIO_END;
    return CALLAUDIO_KEEP;
}

bool IsActiveStatus(const std::wstring& strStatus) { return strStatus == L"INPROGRESS" || IsHold(strStatus); }

bool IsLiveStatus(const std::wstring& strStatus) {
    return IsActiveStatus(strStatus) || strStatus == L"ROUTING" || strStatus == L"RINGING" ||
           strStatus == L"EARLYMEDIA";
}

CSimSkype::CSimSkype(ISimHost* pHost, const std::wstring& strUser) : m_pHost(pHost), m_strUser(strUser) {
    SimUser self;
    self.strHandle = strUser;
    self.strFullName = strUser;
    if (!self.strFullName.empty()) self.strFullName[0] = static_cast<wchar_t>(std::towupper(self.strFullName[0]));
    m_users.push_back(self);
    m_users.push_back({L"bob", L"Bob Builder", L"ONLINE", true});
    m_users.push_back({L"carol", L"Carol Singer", L"ONLINE", true});
}

std::vector<std::wstring> CSimSkype::AttachGreeting() const {
    return {std::wstring(L"CONNSTATUS ") + (m_bLoggedOut ? L"LOGGEDOUT" : L"ONLINE"),
            L"CURRENTUSERHANDLE " + m_strUser, L"USERSTATUS " + m_strStatus};
}

SimUser* CSimSkype::FindUser(const std::wstring& strHandle) {
    // Skype handles are not case-sensitive.
    for (SimUser& u : m_users)
        if (EqualNoCase(u.strHandle, strHandle)) return &u;
    return nullptr;
}

SimUser& CSimSkype::EnsureUser(const std::wstring& strHandle) {
    if (SimUser* p = FindUser(strHandle)) return *p;
    SimUser u;
    u.strHandle = strHandle;
    m_users.push_back(u);
    return m_users.back();
}

SimCall* CSimSkype::FindCall(const std::wstring& strId) {
    for (SimCall& c : m_calls)
        if (c.strId == strId) return &c;
    return nullptr;
}

std::wstring CSimSkype::DisplayName(const std::wstring& strHandle) {
    SimUser* p = FindUser(strHandle);
    return p ? p->strFullName : std::wstring();
}

std::wstring CSimSkype::NextCallId() const {
    long long n = 100;
    for (const SimCall& c : m_calls) {
        long long id = ParseCount(c.strId);
        if (id >= n) n = id + 1;
    }
    return std::to_wstring(n);
}

void CSimSkype::HandleCommand(const std::wstring& strCommand) {
    // Line ends or blanks around a command do not make it a different one.
    size_t first = strCommand.find_first_not_of(L" \t\r\n");
    size_t last = strCommand.find_last_not_of(L" \t\r\n");
    std::wstring text = first == std::wstring::npos ? std::wstring() : strCommand.substr(first, last - first + 1);
    std::vector<size_t> starts;
    std::vector<std::wstring> w = SplitWords(text, &starts);
    m_strTag.clear();
    if (!w.empty() && w[0][0] == L'#') {
        // Skype echoes a command id in front of its answer.
        m_strTag = w[0] + L" ";
        text = w.size() > 1 ? text.substr(starts[1]) : std::wstring();
        starts.clear();
        w = SplitWords(text, &starts);
    }
    if (w.empty()) return;
    auto reply = [this](const std::wstring& s) { m_pHost->Reply(m_strTag + s); };
    std::wstring cmd = UpperW(w[0]);
    std::wstring what = w.size() > 1 ? UpperW(w[1]) : std::wstring();

    if (cmd == L"PING" && w.size() == 1) {
        reply(L"PONG");
    } else if (cmd == L"PROTOCOL" && w.size() == 2) {
        long long n = ParseCount(w[1]);
        reply(FormatW(L"PROTOCOL %lld", n < 1 || n > 8 ? 8 : n));
    } else if (cmd == L"NAME" && w.size() >= 2) {
        reply(L"OK");
    } else if (cmd == L"GET" && w.size() == 2 && what == L"CURRENTUSERHANDLE") {
        reply(L"CURRENTUSERHANDLE " + m_strUser);
    } else if (cmd == L"GET" && w.size() == 2 && what == L"CONNSTATUS") {
        reply(std::wstring(L"CONNSTATUS ") + (m_bLoggedOut ? L"LOGGEDOUT" : L"ONLINE"));
    } else if (cmd == L"GET" && w.size() == 2 && what == L"USERSTATUS") {
        reply(L"USERSTATUS " + m_strStatus);
    } else if (cmd == L"GET" && w.size() == 2 && what == L"SKYPEVERSION") {
        reply(std::wstring(L"SKYPEVERSION ") + SIM_SKYPE_VERSION);
    } else if (cmd == L"GET" && what == L"USER") {
        HandleGetUser(w);
    } else if (cmd == L"GET" && what == L"CALL") {
        HandleGetCall(w);
    } else if (cmd == L"GET") {
        reply(L"ERROR 7 GET: invalid WHAT");
    } else if (cmd == L"SET" && w.size() == 3 && what == L"USERSTATUS") {
        SetOwnStatus(w[2]);
    } else if (cmd == L"SET" && w.size() == 5 && what == L"CALL" && UpperW(w[3]) == L"STATUS") {
        SimCall* call = FindCall(w[2]);
        if (!call)
            reply(L"ERROR 11 Invalid call id");
        else
            ChangeStatus(*call, UpperW(w[4]));
    } else if (cmd == L"SEARCH" && w.size() == 2 && what == L"FRIENDS") {
        std::wstring list;
        for (const SimUser& u : m_users)
            if (u.bFriend) list += (list.empty() ? L"" : L", ") + u.strHandle;
        reply(L"USERS " + list);
    } else if (cmd == L"SEARCH" && w.size() == 2 && (what == L"ACTIVECALLS" || what == L"CALLS")) {
        std::wstring list;
        for (const SimCall& c : m_calls)
            if (what == L"CALLS" || IsLiveStatus(c.strStatus)) list += (list.empty() ? L"" : L", ") + c.strId;
        reply(L"CALLS " + list);
    } else if (cmd == L"ALTER" && what == L"CALL") {
        HandleAlterCall(text, w, starts);
    } else if (cmd == L"CALL" && w.size() == 2) {
        HandleOutgoingCall(w[1]);
    } else {
        reply(L"ERROR 2 Unknown command");
    }
    m_strTag.clear();
}

void CSimSkype::HandleGetUser(const std::vector<std::wstring>& w) {
    auto reply = [this](const std::wstring& s) { m_pHost->Reply(m_strTag + s); };
    if (w.size() < 3) return reply(L"ERROR 10 Invalid user handle");
    if (w.size() != 4) return reply(L"ERROR 7 GET: invalid WHAT");
    const std::wstring& h = w[2];
    std::wstring prop = UpperW(w[3]);
    SimUser* u = FindUser(h);
    bool bSelf = EqualNoCase(h, m_strUser);
    std::wstring prefix = L"USER " + h + L" " + prop + L" ";
    if (prop == L"FULLNAME")
        reply(prefix + (u ? u->strFullName : L""));
    else if (prop == L"ONLINESTATUS")
        reply(prefix + (bSelf ? m_strStatus : u ? u->strStatus : L"UNKNOWN"));
    else if (prop == L"BUDDYSTATUS")
        reply(prefix + (u && u->bFriend ? L"3" : bSelf ? L"0" : L"1"));
    else if (prop == L"HANDLE")
        reply(prefix + h);
    else if (prop == L"DISPLAYNAME")
        reply(prefix);
    else
        reply(L"ERROR 7 GET: invalid WHAT");
}

void CSimSkype::HandleGetCall(const std::vector<std::wstring>& w) {
    auto reply = [this](const std::wstring& s) { m_pHost->Reply(m_strTag + s); };
    if (w.size() < 4) return reply(L"ERROR 7 GET: invalid WHAT");
    SimCall* call = FindCall(w[2]);
    if (!call) return reply(L"ERROR 11 Invalid call id");
    std::wstring prop = UpperW(w[3]);
    std::wstring prefix = L"CALL " + call->strId + L" " + prop + L" ";
    if (w.size() == 5 && prop == L"CONF_PARTICIPANT") {
        long long n = ParseCount(w[4]);
        if (n < 0 || n >= static_cast<long long>(call->participants.size()))
            return reply(L"ERROR 71 Invalid conference participant NO");
        const std::wstring& h = call->participants[static_cast<size_t>(n)];
        return reply(prefix + w[4] + L" " + h + L" " + call->strType + L" " + call->strStatus + L" " + DisplayName(h));
    }
    if (w.size() != 4) return reply(L"ERROR 7 GET: invalid WHAT");
    if (prop == L"STATUS")
        reply(prefix + call->strStatus);
    else if (prop == L"PARTNER_HANDLE")
        reply(prefix + call->strPartner);
    else if (prop == L"PARTNER_DISPNAME")
        reply(prefix + DisplayName(call->strPartner));
    else if (prop == L"TYPE")
        reply(prefix + call->strType);
    else if (prop == L"TARGET_IDENTITY")
        reply(prefix + call->strTarget);
    else if (prop == L"DURATION")
        reply(prefix + std::to_wstring(call->nDuration));
    else if (prop == L"CONF_PARTICIPANTS_COUNT")
        reply(prefix + std::to_wstring(call->participants.size()));
    else if (prop == L"FAILUREREASON")
        reply(prefix + L"0");
    else
        reply(L"ERROR 7 GET: invalid WHAT");
}

void CSimSkype::HandleAlterCall(const std::wstring& strText, const std::vector<std::wstring>& w,
                                const std::vector<size_t>& starts) {
    auto reply = [this](const std::wstring& s) { m_pHost->Reply(m_strTag + s); };
    if (w.size() < 4) return reply(L"ERROR 2 Unknown command");
    SimCall* call = FindCall(w[2]);
    if (!call) return reply(L"ERROR 11 Invalid call id");
    std::wstring action = UpperW(w[3]);
    std::wstring params = w.size() > 4 ? strText.substr(starts[4]) : std::wstring();
    while (!params.empty() && (params.back() == L' ' || params.back() == L'\t')) params.pop_back();
    std::wstring echo = L"ALTER CALL " + call->strId + L" " + action + (params.empty() ? L"" : L" " + params);
    if (action == L"SET_CAPTURE_MIC" || action == L"SET_OUTPUT" || action == L"SET_INPUT") {
        int port = FindPort(params);
        if (port < 0) return reply(L"ERROR 12 Invalid port");
        reply(echo);
        ESimSide side = action == L"SET_CAPTURE_MIC" ? SIDE_MIC : action == L"SET_OUTPUT" ? SIDE_REMOTE : SIDE_INPUT;
        m_pHost->Redirect(*call, side, port);
    } else if (action == L"HOLD") {
        reply(echo);
        if (call->strStatus == L"INPROGRESS") ChangeStatus(*call, L"LOCALHOLD");
    } else if (action == L"RESUME") {
        reply(echo);
        if (IsHold(call->strStatus)) ChangeStatus(*call, L"INPROGRESS");
    } else if (action == L"ANSWER") {
        reply(echo);
        if (call->strStatus == L"RINGING" || call->strStatus == L"ROUTING") ChangeStatus(*call, L"INPROGRESS");
    } else if (action == L"HANGUP" || action == L"END") {
        reply(echo);
        if (IsLiveStatus(call->strStatus)) ChangeStatus(*call, L"FINISHED");
    } else {
        reply(L"ERROR 2 Unknown command");
    }
}

void CSimSkype::HandleOutgoingCall(const std::wstring& strHandle) {
    std::wstring id = NextCallId(), err;
    AddCall(id, strHandle, false, strHandle.size() > 0 && strHandle[0] == L'+', err);
    // The partner picks up after a short ring.
    m_pHost->Later(0.5, [this, id] {
        SimCall* c = FindCall(id);
        if (c && c->strStatus == L"ROUTING") ChangeStatus(*c, L"RINGING");
    });
    m_pHost->Later(1.5, [this, id] {
        SimCall* c = FindCall(id);
        if (c && c->strStatus == L"RINGING") ChangeStatus(*c, L"INPROGRESS");
    });
}

void CSimSkype::ChangeStatus(SimCall& call, const std::wstring& strWord) {
    call.strStatus = strWord;
    std::wstring id = call.strId;
    m_pHost->Notify(L"CALL " + id + L" STATUS " + strWord);
    m_pHost->CallAudio(id, AudioForStatus(strWord));
}

void CSimSkype::OnSecondTick(bool bNotify) {
    for (SimCall& c : m_calls) {
        if (!IsActiveStatus(c.strStatus)) continue;
        ++c.nDuration;
        if (bNotify) m_pHost->Notify(L"CALL " + c.strId + L" DURATION " + std::to_wstring(c.nDuration));
    }
}

bool CSimSkype::AddCall(const std::wstring& strId, const std::wstring& strPartner, bool bIncoming, bool bPstn,
                        std::wstring& strError) {
    if (FindCall(strId)) {
        strError = L"call " + strId + L" already exists";
        return false;
    }
    SimCall call;
    call.strId = strId;
    call.strPartner = strPartner;
    call.strType = std::wstring(bIncoming ? L"INCOMING_" : L"OUTGOING_") + (bPstn ? L"PSTN" : L"P2P");
    m_calls.push_back(call);
    ChangeStatus(m_calls.back(), bIncoming ? L"RINGING" : L"ROUTING");
    return true;
}

bool CSimSkype::SetCallStatus(const std::wstring& strId, const std::wstring& strWord, std::wstring& strError) {
    SimCall* call = FindCall(strId);
    if (!call) {
        strError = L"no call " + strId;
        return false;
    }
    ChangeStatus(*call, UpperW(strWord));
    return true;
}

bool CSimSkype::SetParticipants(const std::wstring& strId, const std::vector<std::wstring>& handles,
                                std::wstring& strError) {
    SimCall* call = FindCall(strId);
    if (!call) {
        strError = L"no call " + strId;
        return false;
    }
    call->participants = handles;
    m_pHost->Notify(L"CALL " + strId + L" CONF_PARTICIPANTS_COUNT " + std::to_wstring(handles.size()));
    return true;
}

bool CSimSkype::SetTarget(const std::wstring& strId, const std::wstring& strTarget, std::wstring& strError) {
    SimCall* call = FindCall(strId);
    if (!call) {
        strError = L"no call " + strId;
        return false;
    }
    call->strTarget = strTarget;
    return true;
}

bool CSimSkype::SendDtmf(const std::wstring& strId, const std::wstring& strKey, std::wstring& strError) {
    if (!FindCall(strId)) {
        strError = L"no call " + strId;
        return false;
    }
    m_pHost->Notify(L"CALL " + strId + L" DTMF " + strKey);
    return true;
}

bool CSimSkype::SetCallSource(const std::wstring& strId, ESimSide eSide, const SimSourceDesc& sourceDesc,
                              std::wstring& strError) {
    SimCall* call = FindCall(strId);
    if (!call) {
        strError = L"no call " + strId;
        return false;
    }
    if (eSide == SIDE_MIC) {
        call->bMicSource = true;
        call->micSource = sourceDesc;
    } else {
        call->bRemoteSource = true;
        call->remoteSource = sourceDesc;
    }
    return true;
}

void CSimSkype::AddFriend(const std::wstring& strHandle, const std::wstring& strFullName, bool bHasName) {
    SimUser& u = EnsureUser(strHandle);
    u.bFriend = true;
    if (bHasName) u.strFullName = strFullName;
    m_pHost->Notify(L"USER " + u.strHandle + L" BUDDYSTATUS 3");
}

void CSimSkype::RemoveFriend(const std::wstring& strHandle) {
    if (SimUser* u = FindUser(strHandle)) u->bFriend = false;
    m_pHost->Notify(L"USER " + strHandle + L" BUDDYSTATUS 1");
}

void CSimSkype::SetFullName(const std::wstring& strHandle, const std::wstring& strFullName) {
    EnsureUser(strHandle).strFullName = strFullName;
    m_pHost->Notify(L"USER " + strHandle + L" FULLNAME " + strFullName);
}

void CSimSkype::SetUserStatus(const std::wstring& strHandle, const std::wstring& strWord) {
    std::wstring word = UpperW(strWord);
    if (EqualNoCase(strHandle, m_strUser)) return SetOwnStatus(word);
    EnsureUser(strHandle).strStatus = word;
    m_pHost->Notify(L"USER " + strHandle + L" ONLINESTATUS " + word);
}

void CSimSkype::SetOwnStatus(const std::wstring& strWord) {
    m_strStatus = UpperW(strWord);
    m_pHost->Notify(L"USERSTATUS " + m_strStatus);
}

void CSimSkype::Logout() {
    m_bLoggedOut = true;
    m_strStatus = L"LOGGEDOUT";
    m_pHost->Notify(L"CONNSTATUS LOGGEDOUT");
    m_pHost->Notify(L"USERSTATUS LOGGEDOUT");
}

void CSimSkype::Login() {
    m_bLoggedOut = false;
    m_strStatus = L"ONLINE";
    m_pHost->Notify(L"CONNSTATUS ONLINE");
    m_pHost->Notify(L"USERSTATUS ONLINE");
}
