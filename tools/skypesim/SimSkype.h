#pragma once
// The simulated Skype client's state and its command handling: users, friends,
// calls and their statuses, and the replies in Skype's text grammar. It touches
// Windows only through ISimHost, so it can be driven by hand in tests.
#include <functional>
#include <string>
#include <vector>

#include "AudioSource.h"

enum ESimSide { SIDE_MIC, SIDE_REMOTE, SIDE_INPUT };

// What a status change means for the call's audio connections.
enum ECallAudio { CALLAUDIO_RUN, CALLAUDIO_HOLD, CALLAUDIO_END, CALLAUDIO_KEEP };

struct SimUser {
    std::wstring strHandle;
    std::wstring strFullName;
    std::wstring strStatus = L"ONLINE";
    bool bFriend = false;
};

struct SimCall {
    std::wstring strId;
    std::wstring strPartner;
    std::wstring strStatus;
    std::wstring strType;  // INCOMING_P2P, OUTGOING_P2P, INCOMING_PSTN, OUTGOING_PSTN
    std::wstring strTarget;
    std::vector<std::wstring> participants;
    int nDuration = 0;
    bool bMicSource = false, bRemoteSource = false;  // per-call sources instead of the defaults
    SimSourceDesc micSource, remoteSource;
};

class ISimHost {
public:
    virtual ~ISimHost() = default;
    // To the window that sent the command being handled.
    virtual void Reply(const std::wstring& strText) = 0;
    // To every attached client.
    virtual void Notify(const std::wstring& strText) = 0;
    // nPort 0 ends that side's redirection.
    virtual void Redirect(const SimCall& call, ESimSide eSide, int nPort) = 0;
    virtual void CallAudio(const std::wstring& strCallId, ECallAudio eAudio) = 0;
    virtual void Later(double dSeconds, std::function<void()> fn) = 0;
};

ECallAudio AudioForStatus(const std::wstring& strStatus);
bool IsActiveStatus(const std::wstring& strStatus);  // in progress or on hold
bool IsLiveStatus(const std::wstring& strStatus);    // not ended: routing, ringing, early media, active
std::wstring UpperW(std::wstring s);
bool EqualNoCase(const std::wstring& a, const std::wstring& b);
// Splits at runs of blanks and tabs; pStarts receives each word's offset.
std::vector<std::wstring> SplitWords(const std::wstring& strText, std::vector<size_t>* pStarts = nullptr);

class CSimSkype {
public:
    CSimSkype(ISimHost* pHost, const std::wstring& strUser);

    void HandleCommand(const std::wstring& strCommand);
    // Once a second: DURATION updates of the calls in progress or on hold.
    void OnSecondTick(bool bNotify);
    // What Skype sends on its own right after a client attached.
    std::vector<std::wstring> AttachGreeting() const;

    // Scenario operations; each sends the notification Skype would send.
    bool AddCall(const std::wstring& strId, const std::wstring& strPartner, bool bIncoming, bool bPstn,
                 std::wstring& strError);
    bool SetCallStatus(const std::wstring& strId, const std::wstring& strWord, std::wstring& strError);
    bool SetParticipants(const std::wstring& strId, const std::vector<std::wstring>& handles, std::wstring& strError);
    bool SetTarget(const std::wstring& strId, const std::wstring& strTarget, std::wstring& strError);
    bool SendDtmf(const std::wstring& strId, const std::wstring& strKey, std::wstring& strError);
    bool SetCallSource(const std::wstring& strId, ESimSide eSide, const SimSourceDesc& sourceDesc, std::wstring& strError);
    void AddFriend(const std::wstring& strHandle, const std::wstring& strFullName, bool bHasName);
    void RemoveFriend(const std::wstring& strHandle);
    void SetFullName(const std::wstring& strHandle, const std::wstring& strFullName);
    void SetUserStatus(const std::wstring& strHandle, const std::wstring& strWord);
    void SetOwnStatus(const std::wstring& strWord);
    void Logout();
    void Login();

    bool IsLoggedOut() const { return m_bLoggedOut; }
    const std::wstring& CurrentUser() const { return m_strUser; }
    SimCall* FindCall(const std::wstring& strId);
    const std::vector<SimCall>& Calls() const { return m_calls; }

private:
    SimUser* FindUser(const std::wstring& strHandle);
    SimUser& EnsureUser(const std::wstring& strHandle);
    void HandleGetUser(const std::vector<std::wstring>& w);
    void HandleGetCall(const std::vector<std::wstring>& w);
    void HandleAlterCall(const std::wstring& strText, const std::vector<std::wstring>& w,
                         const std::vector<size_t>& starts);
    void HandleOutgoingCall(const std::wstring& strHandle);
    void ChangeStatus(SimCall& call, const std::wstring& strWord);
    std::wstring NextCallId() const;
    std::wstring DisplayName(const std::wstring& strHandle);

    ISimHost* m_pHost;
    std::wstring m_strUser;
    std::wstring m_strStatus = L"ONLINE";
    bool m_bLoggedOut = false;
    std::vector<SimUser> m_users;  // friends first, in the order added
    std::vector<SimCall> m_calls;
    std::wstring m_strTag;  // "#tag " of the command being handled
};
