#pragma once
// The link to the running Skype client: a hidden API window that speaks the
// Desktop API's window-message protocol, the command composer and the
// notification parser, the command queue and the sender thread.
// Everything but the sender thread runs on the GUI thread.
#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "skype/CallList.h"
#include "skype/CallPartnerMap.h"
#include "skype/CommandQueue.h"
#include "skype/ContactList.h"
#include "skype/SkypeEvents.h"
#include "skype/SkypeHost.h"
#include "skype/SkypeStatus.h"

// Attach answers Skype sends with "SkypeControlAPIAttach".
constexpr LPARAM ATTACH_SUCCESS = 0;
constexpr LPARAM ATTACH_REFUSED = 2;
constexpr LPARAM ATTACH_API_AVAILABLE = 0x8001;

class CSkypeClient {
public:
    static constexpr UINT KEEPALIVE_PERIOD_MS = 30000;  // Skype answers ping within this
    // While detached, how often the discover goes out again: a Skype that comes
    // back without announcing itself is found within this period.
    static constexpr UINT REDISCOVER_PERIOD_MS = 30000;
    // One send may wait this long for Skype; a hung Skype fails it at once.
    static constexpr UINT SEND_TIMEOUT_MS = 3000;
    static constexpr UINT CONTACTS_DEBOUNCE_MS = 1000;
    static constexpr int MAX_MISSED_PONGS = 3;
    static constexpr int SEND_RETRIES = 5;
    static constexpr DWORD SEND_BUFFER_BYTES = 1024;

    // The process-wide client: created on first use, then started for hwndNotify.
    static CSkypeClient* GetInstance(HWND hwndNotify);
    static void DestroyInstance();

    // pHost null uses the real Win32 host. The client takes the shared call
    // table, contact list, partner map and queue, and destroys them with itself.
    explicit CSkypeClient(ISkypeHost* pHost = nullptr);
    ~CSkypeClient();
    CSkypeClient(const CSkypeClient&) = delete;
    CSkypeClient& operator=(const CSkypeClient&) = delete;

    bool Start(HWND hwndNotify);
    void Stop();
    // The window that receives the events; Start sets it. For hosts that
    // drive the client without starting it.
    void SetNotifyWindow(HWND hwndNotify) { m_hwndNotify = hwndNotify; }

    // Command composer: every operation queues one finished text.
    bool QueueCommand(const std::wstring& strCommand);
    void QueryFullName(const std::wstring& strHandle);
    void QueryCallStatus(const std::wstring& strId);
    void QueryCallPartner(const std::wstring& strId);
    void QueryCallType(const std::wstring& strId);
    void QueryCallTarget(const std::wstring& strId);
    void QueryConfParticipantsCount(const std::wstring& strId);
    void QueryConfParticipant(const std::wstring& strId, const std::wstring& strIndex);
    void QueryCallDetails(const std::wstring& strId);
    bool RedirectMicrophone(const std::wstring& strId, const std::wstring& strPort);
    bool RedirectOutput(const std::wstring& strId, const std::wstring& strPort);

    // One text received from Skype.
    void ParseNotification(const std::wstring& strText);

    // Read operations for the recording controller and the main window.
    void ResetCallInfo();
    bool IsIncomingCall() const { return m_bIncomingCall; }
    std::wstring GetCurrentUserHandle() const { return m_strCurrentUser; }
    int GetUserStatus() const { return m_nUserStatus; }
    std::wstring GetSkypeVersion() const { return m_strSkypeVersion; }
    std::wstring GetDuration() const { return m_strDuration; }
    std::wstring GetRoutedCall() const { return m_strRoutedCall; }
    std::wstring GetLastPartner() const { return m_strLastPartner; }
    std::wstring GetConfParticipant(int nIndex) const {
        return nIndex == 0 ? m_strConfParticipant0 : m_strConfParticipant1;
    }
    CCallList* GetCallList() const { return m_pCallList; }
    CContactList* GetContacts() const { return m_pContacts; }
    CCallPartnerMap* GetPartnerMap() const { return m_pPartnerMap; }
    CCommandQueue* GetQueue() const { return m_pQueue; }

    // Link state.
    bool IsStarted() const { return m_bStarted; }
    bool IsAttached() const { return m_bAttached; }
    bool IsRediscovering() const { return m_bRediscovering; }
    bool IsPongSeen() const { return m_bPongSeen; }
    bool IsFriendsRequested() const { return m_bFriendsRequested; }
    int GetMissedPongs() const { return m_nMissedPongs; }
    UINT_PTR GetKeepAliveTimer() const { return m_nKeepAliveTimer; }
    UINT_PTR GetContactsTimer() const { return m_nContactsTimer; }
    UINT_PTR GetRediscoverTimer() const { return m_nRediscoverTimer; }
    HWND GetApiWindow() const { return m_hwndApi; }
    HWND GetSkypeWindow() const { return m_hwndSkype; }
    HWND GetNotifyWindow() const { return m_hwndNotify; }
    const wchar_t* GetApiClassName() const { return m_szClassName; }
    HANDLE GetSenderThread() const { return m_hSenderThread; }
    UINT GetAttachMessage() const { return m_uAttachMsg; }
    UINT GetDiscoverMessage() const { return m_uDiscoverMsg; }

    // What the API window does with its messages (public so the window
    // procedure and tests reach the same code).
    LRESULT OnCopyData(HWND hwndSender, const COPYDATASTRUCT* pcds);
    LRESULT OnAttachMessage(HWND hwndSkype, LPARAM lStatus);
    // Shared callback of the keep-alive, contacts and rediscover timers.
    void OnTimer(UINT_PTR uId);

private:
    void OnAttached();
    void Detach();
    void BroadcastDiscover();
    void StartRediscovery();
    void StopRediscovery();
    LRESULT SendToSkype(const std::wstring& strCommand);
    void SenderThread();
    static unsigned __stdcall SenderThreadProc(void* pArg);
    static LRESULT CALLBACK ApiWndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
    void PostEvent(UINT uMsg, WPARAM wParam, LPARAM lParam);
    void WaitForSender();

    // Notification handlers, one per keyword.
    void OnUsers(const std::wstring& strRest);
    void OnUser(const std::wstring& strRest);
    void OnStatus(const std::wstring& strRest, bool bConnStatus);
    void OnCall(const std::wstring& strRest);
    void OnCallStatus(const std::wstring& strId, const std::wstring& strValue);
    void OnCallPartner(const std::wstring& strId, const std::wstring& strValue);
    void OnCallDtmf(const std::wstring& strId, const std::wstring& strValue);
    void OnCallConfParticipant(const std::wstring& strValue);
    void OnCallType(const std::wstring& strValue);
    void RestartContactsTimer();

    std::unique_ptr<ISkypeHost> m_pOwnedHost;
    ISkypeHost* m_pHost = nullptr;

    CCallList* m_pCallList = nullptr;
    CCommandQueue* m_pQueue = nullptr;
    CContactList* m_pContacts = nullptr;
    HANDLE m_hSenderThread = nullptr;
    CCallPartnerMap* m_pPartnerMap = nullptr;
    // Read by the sender thread without a lock; written on the GUI thread.
    std::atomic<bool> m_bStop{false};
    int m_nUserStatus = USER_STATUS_UNKNOWN;
    std::wstring m_strCurrentUser;
    HWND m_hwndNotify = nullptr;
    std::atomic<HWND> m_hwndApi{nullptr};
    std::atomic<HWND> m_hwndSkype{nullptr};
    HANDLE m_hProcess = nullptr;
    wchar_t m_szClassName[128] = {};
    bool m_bStarted = false;
    std::atomic<bool> m_bAttached{false};
    bool m_bRediscovering = false;
    bool m_bPongSeen = false;
    bool m_bFriendsRequested = false;
    std::wstring m_strRoutedCall;
    std::wstring m_strDuration = L"0";
    std::wstring m_strLastPartner;
    std::wstring m_strSkypeVersion;
    bool m_bIncomingCall = true;
    std::wstring m_strConfParticipant1;
    std::wstring m_strConfParticipant0;
    UINT_PTR m_nKeepAliveTimer = 0;
    UINT_PTR m_nContactsTimer = 0;
    UINT_PTR m_nRediscoverTimer = 0;
    // Skype answered with a refusal: it is there, so asking again every period
    // would only ask the user again and again.
    bool m_bRefused = false;
    HANDLE m_hQueueReady = nullptr;
    int m_nMissedPongs = 0;
    UINT m_uAttachMsg = 0;
    UINT m_uDiscoverMsg = 0;
    // Sender thread only; grows for the rare command that does not fit.
    std::vector<char> m_sendBuffer;
};
