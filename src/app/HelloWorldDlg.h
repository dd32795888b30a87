#pragma once
// The main window: a small skinned dialog with the record and pause buttons,
// the level meters, the Skype user and the status line, a tray icon, and the
// recording controller's glue to Skype, the audio engine and the history.
#include <winsock2.h>
#include <windows.h>
#include <shellapi.h>

#include <memory>
#include <string>

#include "app/AutoUpdater.h"
#include "app/CommandLine.h"
#include "app/HotKeys.h"
#include "app/RecordJournal.h"
#include "app/RecordController.h"
#include "app/RecordGuards.h"
#include "base/Dialog.h"
#include "base/Gdi.h"
#include "widgets/KCBusyProgressCtrl.h"
#include "widgets/LabelEx.h"
#include "widgets/MyButtonST.h"

class CAudioServer;
class CSkypeClient;
class CCallList;
class CCallPartnerMap;
class CGeneralProfile;
class CRecordHistory;
class CDlgRecHistory;

constexpr UINT WM_TRAY_NOTIFY = WM_USER + 0x101;
constexpr UINT WM_RECORD_FINISHED = WM_USER + 0x113;
// Posted to itself: a recording could not start, the box is shown outside the controller.
constexpr UINT WM_RECORD_START_FAILED = WM_USER + 0x114;
constexpr UINT TRAY_ICON_ID = 1;

// The icon index of the user label for a Skype user status code.
int UserStatusIconIndex(int nStatus);
// "left,top,right,bottom": false unless four numbers are there and none is negative.
bool ParseWindowPosition(const std::wstring& strPosition, RECT& rc);
// The text of the box shown when Skype refuses the attach.
std::wstring GetRefusedMessage();
// The text of the box shown when a recording cannot start: the file and the reason.
std::wstring GetStartFailureMessage(const std::wstring& strFile, DWORD dwError);

class CHelloWorldDlg : public CDialog, private IRecordHost, private IRemoteTarget {
public:
    CHelloWorldDlg();
    ~CHelloWorldDlg() override;

    CAutoUpdater m_updater;

protected:
    BOOL OnInitDialog() override;
    LRESULT OnDestroy() override;
    LRESULT OnCommand(UINT nId, UINT nCode, HWND hCtl) override;
    LRESULT OnPaint() override;
    LRESULT OnEraseBkgnd(HDC hDC) override;
    LRESULT OnLButtonDown(UINT nFlags, POINT pt) override;
    LRESULT OnTimer(UINT_PTR nId) override;
    LRESULT OnMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

private:
    // Recording controller entry points.
    void OnBnClickedRecord();
    void OnBnClickedPause();
    LRESULT OnRecordFinished();

    // Faces and status line.
    void SetRecordStatus(int nStatus) override;
    void HideRecordStatus() override;
    void SetRecordButtonStart() override;
    void SetRecordButtonStop() override;
    void SetPauseButtonPause() override;
    void SetPauseButtonResume() override;
    void SetButtonFace(CMyButtonST& button, UINT nNormal, UINT nHover, UINT nPressed,
                       const wchar_t* pszTip);

    // The rest of the controller's host.
    bool IsIncomingCall() override;
    void ResetCallInfo() override;
    void RedirectMicrophone(const std::wstring& strId, const std::wstring& strPort) override;
    void RedirectOutput(const std::wstring& strId, const std::wstring& strPort) override;
    int GetRecordState() override;
    void SetRecordState(int nState) override;
    bool StartRecording(const std::wstring& strPath, int nSampleRate, int nBitrate, int nMode,
                        std::wstring& strFile) override;
    void BeginStopRecorder() override;
    void StopRecorder() override;
    void RetagRecording(const RecordEntry& entry) override;
    Mp3Tags MakeRecordTags(const RecordEntry& entry);
    int GetRecordedSeconds() override;
    void AddRecord(const RecordEntry& entry) override;
    void AddHistoryItem(const RecordEntry& entry) override;
    void EnableRecordButton(bool bEnable) override;
    void ResetLevelMeters() override;
    void BringMainWindowToFront() override;
    void ShowHistoryWindow() override;
    int64_t Now() override;
    bool CanStartRecording() override;

    // Commands from a second start (ombra.exe /record ...).
    bool IsRecordButtonEnabled() override { return m_btnRecord.IsWindowEnabled(); }
    bool IsRecordingActive() override { return m_pController && m_pController->IsRecordingActive(); }
    bool IsRecordingRunning() override { return m_pController && m_pController->IsRecordingRunning(); }
    void ClickRecord() override { OnBnClickedRecord(); }
    void ClickPause() override { OnBnClickedPause(); }
    void ShowMainWindow() override { BringMainWindowToFront(); }
    void ExitProgram() override { PostMessage(WM_QUIT); }

    // Window.
    void AddTrayIcon();
    void RemoveTrayIcon();
    void OnTrayNotify(WPARAM wParam, LPARAM lParam);
    void ShowTrayMenu();
    void ShowAboutBox();
    void OnSkypeRefused();
    void OnSkypeCurrentUser();
    void OnUserStatus(int nStatus);
    void SetMeter(CKCBusyProgressCtrl& meter, int nLevel);
    void LayoutSkin(int cx, int cy);
    void OnDpiChanged(const RECT& rcSuggested);
    void DockHistory(const RECT& rcMain);
    void RestorePosition();
    void SavePosition();
    void FillHistoryWindow();
    void OnEndSession();
    void OnPowerBroadcast(WPARAM wParam);
    void ShowStartFailure();
    void UpdateJournalPartners();
    void RetryBlockedHistory();
    // The "Rules" page's retention (at start, hourly, after the options) and hot keys.
    void ApplyRulesPage(bool bHotKeys);

    HICON m_hIcon = nullptr;
    HICON m_hIconSmall = nullptr;
    CBitmap m_bmpBackground;
    NOTIFYICONDATAW m_nid{};
    bool m_bTrayIcon = false;
    // Sent to every top-level window when Explorer (re)creates the taskbar.
    const UINT m_uTaskbarCreated = ::RegisterWindowMessageW(L"TaskbarCreated");
    const UINT m_uRemoteCommand = GetRemoteCommandMessage();
    int m_nPosChanging = 0;  // WM_WINDOWPOSCHANGING seen; only the first ones dock
    bool m_bRefusedBoxShown = false;  // the refusal box is up: further refusals add nothing
    std::wstring m_strStartFailure;   // the text of the start failure box still to show
    bool m_bStartFailureShown = false;

    CGeneralProfile* m_pProfile = nullptr;
    CAudioServer* m_pAudioServer = nullptr;
    CSkypeClient* m_pSkypeClient = nullptr;
    CCallList* m_pCallList = nullptr;
    CCurrentRecord* m_pCurrentRecord = nullptr;
    CCallPartnerMap* m_pPartnerMap = nullptr;
    CRecordHistory* m_pHistory = nullptr;
    CDlgRecHistory* m_pHistoryWnd = nullptr;
    std::unique_ptr<CRecordController> m_pController;
    std::unique_ptr<CRecordGuards> m_pGuards;
    CRecordJournal m_journal;
    CHotKeys m_hotKeys;
    std::wstring m_strJournalCallIds;  // the calls whose partners the journal names

    CMyButtonST m_btnClose, m_btnRecord, m_btnPause, m_btnMicIcon, m_btnRemoteIcon;
    CMyButtonST m_btnSpare, m_btnHistory, m_btnOptions, m_btnHelp, m_btnDonate;
    CKCBusyProgressCtrl m_micLevel, m_remoteLevel;
    CLabelEx m_lblUser, m_lblStatus;
};
