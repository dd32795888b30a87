#include "app/HelloWorldDlg.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <ctime>
#include <cwchar>

#include "app/AboutDlg.h"
#include "app/AppFolders.h"
#include "app/RecordRules.h"
#include "app/Retention.h"
#include "app/WebPage.h"
#include "audio/AudioServer.h"
#include "audiofile/AudioErrors.h"
#include "base/Dpi.h"
#include "base/Log.h"
#include "base/Notifier.h"
#include "base/StringUtil.h"
#include "history/DlgRecHistory.h"
#include "history/RecordHistory.h"
#include "resource.h"
#include "settings/DlgOptions.h"
#include "settings/GeneralProfile.h"
#include "skype/ContactList.h"
#include "skype/SkypeClient.h"

namespace {
constexpr wchar_t APP_TITLE[] = L"Ombra Skype Recorder";
constexpr COLORREF COLOR_ALERT = RGB(226, 0, 0);
constexpr COLORREF COLOR_TITLE = RGB(60, 60, 60);
constexpr COLORREF KEY_WHITE = RGB(255, 255, 255);
constexpr COLORREF KEY_BLACK = RGB(0, 0, 0);
constexpr COLORREF USER_ICON_MASK = RGB(217, 222, 224);
constexpr int METER_BLOCKS = 20;
constexpr int METER_MAX = 512;
constexpr int DOCKING_POSCHANGES = 10;
// A record.xml that another program holds is tried again this often.
constexpr UINT_PTR TIMER_HISTORY_RETRY = 1;
constexpr UINT HISTORY_RETRY_MS = 5000;
// Recordings past the retention limit are looked for at start and then hourly.
constexpr UINT_PTR TIMER_RETENTION = 2;
constexpr UINT RETENTION_PERIOD_MS = 3600 * 1000;

RECT RectInParent(HWND hCtl) {
    RECT rc{};
    ::GetWindowRect(hCtl, &rc);
    ::MapWindowPoints(nullptr, ::GetParent(hCtl), reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

// Moves a control to (x, y) with the given size unless it is there already.
void PlaceControl(HWND hCtl, int x, int y, int cx, int cy) {
    if (!hCtl) return;
    RECT rc = RectInParent(hCtl);
    if (rc.left == x && rc.top == y && rc.right - rc.left == cx && rc.bottom - rc.top == cy) return;
    ::MoveWindow(hCtl, x, y, cx, cy, TRUE);
}

void MoveHistoryTo(HWND hHistory, int x, int y) {
    RECT rc{};
    ::GetWindowRect(hHistory, &rc);
    ::MoveWindow(hHistory, x, y, rc.right - rc.left, rc.bottom - rc.top, TRUE);
}
}  // namespace

int UserStatusIconIndex(int nStatus) {
    switch (nStatus) {
        case USER_STATUS_LOGGEDOUT:
        case USER_STATUS_OFFLINE:
        case USER_STATUS_INVISIBLE: return 1;
        case USER_STATUS_ONLINE: return 2;
        case USER_STATUS_AWAY: return 3;
        case USER_STATUS_NA:
        case USER_STATUS_DND: return 4;
        case USER_STATUS_SKYPEME: return 5;
        default: return 0;
    }
}

bool ParseWindowPosition(const std::wstring& strPosition, RECT& rc) {
    long values[4] = {};
    int nPieces = 0;
    size_t nStart = 0;
    while (nPieces < 4) {
        size_t nComma = strPosition.find(L',', nStart);
        std::wstring strPiece = strPosition.substr(nStart, nComma == std::wstring::npos ? std::wstring::npos : nComma - nStart);
        values[nPieces++] = std::wcstol(strPiece.c_str(), nullptr, 10);
        if (nComma == std::wstring::npos) break;
        nStart = nComma + 1;
    }
    if (strPosition.empty() || nPieces < 4) return false;
    for (long v : values)
        if (v < 0) return false;
    rc = {values[0], values[1], values[2], values[3]};
    return true;
}

std::wstring GetRefusedMessage() {
    return L"Your skype refused me to access it.\nPlease visit the page (" + GetIssuePageUrl() +
           L") to resolve the issue!";
}

std::wstring GetStartFailureMessage(const std::wstring& strFile, DWORD dwError) {
    std::wstring strReason = dwError == AUDIOERR_ENCODER_REFUSED ? L"The MP3 encoder does not take these audio settings."
                                                                 : SystemErrorText(dwError);
    if (strReason.empty()) strReason = FormatW(L"Error %lu.", dwError);
    return L"The recording could not be started in the file '" + strFile + L"'!\n" + strReason;
}

CHelloWorldDlg::CHelloWorldDlg() : CDialog(IDD_OMBRA_DIALOG) {
    HINSTANCE hInst = ::GetModuleHandleW(nullptr);
    m_hIcon = static_cast<HICON>(::LoadImageW(hInst, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                              ::GetSystemMetrics(SM_CXICON),
                                              ::GetSystemMetrics(SM_CYICON), 0));
    m_hIconSmall = static_cast<HICON>(::LoadImageW(hInst, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                                   ::GetSystemMetrics(SM_CXSMICON),
                                                   ::GetSystemMetrics(SM_CYSMICON), 0));
}

CHelloWorldDlg::~CHelloWorldDlg() {
    if (m_hIcon) ::DestroyIcon(m_hIcon);
    if (m_hIconSmall) ::DestroyIcon(m_hIconSmall);
}

BOOL CHelloWorldDlg::OnInitDialog() {
    CDialog::OnInitDialog();

    // The default recording folder always exists, whatever "sfolder" says.
    std::wstring strDocs = GetDefaultRecordFolder();
    if (!strDocs.empty() && !::PathFileExistsW(strDocs.c_str())) ::CreateDirectoryW(strDocs.c_str(), nullptr);

    std::wstring strData = GetAppDataFolder();
    if (!strData.empty() && !::PathFileExistsW(strData.c_str())) {
        if (!::CreateDirectoryW(strData.c_str(), nullptr)) CreateFolderTree(strData);
    }

    if (HMENU hSysMenu = ::GetSystemMenu(m_hWnd, FALSE)) {
        wchar_t szAbout[128] = {};
        ::LoadStringW(::GetModuleHandleW(nullptr), IDS_ABOUTBOX, szAbout, 128);
        if (szAbout[0]) {
            ::AppendMenuW(hSysMenu, MF_SEPARATOR, 0, nullptr);
            ::AppendMenuW(hSysMenu, MF_STRING, IDM_ABOUTBOX, szAbout);
        }
    }

    // The window draws its own skin and title from here on.
    ModifyStyle(WS_CAPTION, WS_MINIMIZEBOX, SWP_FRAMECHANGED);
    AddTrayIcon();
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIconSmall));

    m_micLevel.SubclassDlgItem(IDC_MAIN_MIC_LEVEL, m_hWnd);
    m_remoteLevel.SubclassDlgItem(IDC_MAIN_REMOTE_LEVEL, m_hWnd);
    for (CKCBusyProgressCtrl* pMeter : {&m_micLevel, &m_remoteLevel}) {
        pMeter->SetNumSteps(METER_BLOCKS);
        pMeter->SetRange(0, METER_MAX);
        pMeter->SetMode(BPC_MODE_PROGRESS);
        pMeter->End();
        pMeter->SetPos(0);
    }
    m_micLevel.SetLevelName(L"Microphone");
    m_remoteLevel.SetLevelName(L"Remote side");

    m_lblUser.SubclassDlgItem(IDC_MAIN_USER, m_hWnd);
    m_lblUser.SetIconList(IDB_MAIN_USER_STATUS, USER_ICON_MASK);
    m_lblUser.SetIconIndex(0);
    m_lblUser.SetWindowText(L"Searching for Skype");
    m_lblUser.SetTextColor(COLOR_ALERT);
    m_lblStatus.SubclassDlgItem(IDC_MAIN_STATUS, m_hWnd);
    m_lblStatus.SetHoverTracking(false);
    m_lblStatus.SetHoverColorChange(false);

    m_pHistory = CRecordHistory::GetInstance();
    m_pHistory->Open(strData + L"record.xml");
    m_journal.SetFolder(strData);

    m_pHistoryWnd = new CDlgRecHistory();
    m_pHistoryWnd->Create(m_hWnd);

    m_btnSpare.SubclassDlgItem(IDC_MAIN_SPARE, m_hWnd);
    m_btnSpare.SetBitmaps(IDB_MAIN_SPARE_HOVER, KEY_WHITE, IDB_MAIN_SPARE, KEY_WHITE);
    m_btnHistory.SubclassDlgItem(IDC_MAIN_HISTORY, m_hWnd);
    m_btnHistory.SetBitmaps(IDB_MAIN_HISTORY_HOVER, KEY_WHITE, IDB_MAIN_HISTORY, KEY_WHITE);
    m_btnOptions.SubclassDlgItem(IDC_MAIN_OPTIONS, m_hWnd);
    m_btnOptions.SetBitmaps(IDB_MAIN_OPTIONS_HOVER, KEY_WHITE, IDB_MAIN_OPTIONS, KEY_WHITE);
    m_btnHelp.SubclassDlgItem(IDC_MAIN_HELP, m_hWnd);
    m_btnHelp.SetBitmaps(IDB_MAIN_HELP_HOVER, KEY_WHITE, IDB_MAIN_HELP, KEY_WHITE);
    m_btnDonate.SubclassDlgItem(IDC_MAIN_DONATE, m_hWnd);
    m_btnDonate.SetBitmaps(IDB_MAIN_DONATE_HOVER, KEY_WHITE, IDB_MAIN_DONATE, KEY_WHITE);
    m_btnHistory.SetTooltipText(L"History");
    m_btnOptions.SetTooltipText(L"Options");
    m_btnHelp.SetTooltipText(L"Help");
    m_btnDonate.SetTooltipText(L"Donate $1 via Paypal");
    m_btnSpare.SetWindowText(L"List");

    HideRecordStatus();
    SetRecordStatus(RECSTATUS_WAITING);

    m_bmpBackground.Load(IDB_MAIN_BACKGROUND, Dpi::ForWindow(m_hWnd));
    m_btnClose.SubclassDlgItem(IDC_MAIN_CLOSE, m_hWnd);
    m_btnClose.SetBitmaps(IDB_HISTORY_CLOSE_HOVER, KEY_BLACK, IDB_HISTORY_CLOSE, KEY_BLACK,
                          IDB_HISTORY_CLOSE_PRESSED, KEY_BLACK);
    m_btnClose.SetTooltipText(L"Close");
    // Tab goes from the record button through the tools to Close last.
    ::SetWindowPos(m_btnClose, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

    m_btnRecord.SubclassDlgItem(IDC_MAIN_RECORD, m_hWnd);
    m_btnPause.SubclassDlgItem(IDC_MAIN_PAUSE, m_hWnd);
    SetRecordButtonStart();
    SetPauseButtonPause();
    m_btnMicIcon.SubclassDlgItem(IDC_MAIN_MIC_ICON, m_hWnd);
    m_btnMicIcon.SetBitmaps(IDB_MAIN_MIC, KEY_WHITE);
    m_btnMicIcon.SetWindowText(L"Microphone");
    m_btnRemoteIcon.SubclassDlgItem(IDC_MAIN_REMOTE_ICON, m_hWnd);
    m_btnRemoteIcon.SetBitmaps(IDB_MAIN_REMOTE, KEY_WHITE);
    m_btnRemoteIcon.SetWindowText(L"Remote side");

    m_pProfile = CGeneralProfile::GetInstance();
    m_pProfile->Load();

    m_pAudioServer = CAudioServer::GetInstance();
    if (m_pAudioServer) {
        m_pAudioServer->SetLevelWindow(m_hWnd);
        m_pAudioServer->StartMicServer();
        m_pAudioServer->StartRemoteServer();
    }

    m_pSkypeClient = CSkypeClient::GetInstance(m_hWnd);
    m_pCallList = CCallList::GetInstance();
    m_pCurrentRecord = CCurrentRecord::GetInstance();
    m_pPartnerMap = CCallPartnerMap::GetInstance();
    m_pController = std::make_unique<CRecordController>(static_cast<IRecordHost&>(*this), *m_pCallList, *m_pPartnerMap,
                                                        *m_pProfile, *m_pCurrentRecord);
    m_pGuards = std::make_unique<CRecordGuards>(m_hWnd, TRAY_ICON_ID, *m_pController, *m_pProfile, m_pAudioServer,
                                                *m_pCurrentRecord);

    m_btnRecord.EnableWindow(false);
    m_btnPause.EnableWindow(false);
    m_btnSpare.EnableWindow(false);
    m_btnSpare.ShowWindow(SW_HIDE);

    RestorePosition();

    m_updater.StartThread(m_hWnd);

    // Recordings of a run that was killed come in before the window is filled.
    CRecordJournal::Recover(strData, *m_pHistory);
    FillHistoryWindow();
    if (m_pHistory->IsBlocked()) SetTimer(TIMER_HISTORY_RETRY, HISTORY_RETRY_MS);
    m_pHistoryWnd->SetRecordRuleHandler([this](const std::wstring& strHandle, bool bAlways) {
        ApplyRecordRuleChoice(*m_pProfile, strHandle, bAlways);
    });
    ApplyRulesPage(true);
    SetTimer(TIMER_RETENTION, RETENTION_PERIOD_MS);
    // Shown now rather than when the message queue first runs empty, which a busy
    // queue (level messages, Skype's notifications) can put off.
    ShowWindow(SW_SHOW);
    return TRUE;
}

void CHelloWorldDlg::FillHistoryWindow() {
    if (!m_pHistory || !m_pHistoryWnd) return;
    int nCount = m_pHistory->GetCount();
    std::vector<RecordEntry> entries(static_cast<size_t>(nCount > 0 ? nCount : 0));
    size_t nRead = 0;
    for (int i = 0; i < nCount; ++i)
        if (m_pHistory->GetRecord(i, entries[nRead])) ++nRead;
    entries.resize(nRead);
    m_pHistoryWnd->AddRecordItems(entries);
}

void CHelloWorldDlg::RetryBlockedHistory() {
    if (!m_pHistory || !m_pHistory->RetryBlocked()) return;
    KillTimer(TIMER_HISTORY_RETRY);
    // The file's own entries lead the list; those of this run are shown already.
    if (m_pHistoryWnd) {
        for (int i = 0; i < m_pHistory->GetTakenInCount(); ++i) {
            RecordEntry entry;
            if (m_pHistory->GetRecord(i, entry)) m_pHistoryWnd->AddRecordItem(entry);
        }
        m_pHistoryWnd->RefreshCounts();
    }
    CRecordJournal::Recover(GetAppDataFolder(), *m_pHistory, m_journal.GetPath());
}

LRESULT CHelloWorldDlg::OnTimer(UINT_PTR nId) {
    if (nId == TIMER_HISTORY_RETRY) {
        RetryBlockedHistory();
        return 0;
    }
    if (m_pGuards && m_pGuards->OnTimer(nId)) return 0;
    if (nId == TIMER_RETENTION) {
        ApplyRulesPage(false);
        return 0;
    }
    return Default();
}

void CHelloWorldDlg::ApplyRulesPage(bool bHotKeys) {
    if (!m_pProfile || !m_pHistory) return;
    if (bHotKeys) m_hotKeys.Apply(m_hWnd, m_pProfile->m_bHotKeys);
    const bool bRecording = m_pController && m_pController->IsRecordingActive() && m_pCurrentRecord;
    RunRetention(*m_pHistory, m_pHistoryWnd, *m_pProfile, bRecording ? m_pCurrentRecord->GetEntry().m_strFile : L"");
}

void CHelloWorldDlg::UpdateJournalPartners() {
    if (m_journal.GetPath().empty() || !m_pCurrentRecord || !m_pPartnerMap) return;
    const std::wstring& strIds = m_pCurrentRecord->GetCallIds();
    if (strIds.empty() || strIds == m_strJournalCallIds) return;
    RecordEntry entry = m_pCurrentRecord->GetEntry();
    entry.m_strName = m_pPartnerMap->TranslateCallIds(strIds);
    m_journal.Write(entry);
    m_strJournalCallIds = strIds;
}

void CHelloWorldDlg::OnEndSession() {
    // Windows ends the process when this returns, without WM_DESTROY: what Exit
    // saves is saved here.
    LogLine(L"exit: the Windows session ends");
    RemoveTrayIcon();
    if (m_pProfile) SavePosition();
    if (m_pController && m_pAudioServer) m_pController->FinishBeforeExit();
}

void CHelloWorldDlg::OnPowerBroadcast(WPARAM wParam) {
    // The recording's clock would run on through the sleep and write it as silence.
    CRecorder* pRecorder = m_pAudioServer ? m_pAudioServer->GetRecorder() : nullptr;
    if (!pRecorder) return;
    if (wParam == PBT_APMSUSPEND)
        pRecorder->Suspend();
    else if (wParam == PBT_APMRESUMEAUTOMATIC || wParam == PBT_APMRESUMESUSPEND)
        pRecorder->ResumeAfterSuspend();
}

void CHelloWorldDlg::RestorePosition() {
    RECT rc{};
    if (!ParseWindowPosition(m_pProfile->m_strPosition, rc)) return;
    ::MoveWindow(m_hWnd, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, TRUE);
}

void CHelloWorldDlg::SavePosition() {
    RECT rc = GetWindowRect();
    m_pProfile->m_strPosition = FormatW(L"%d,%d,%d,%d", rc.left, rc.top, rc.right, rc.bottom);
    m_pProfile->m_bModified = true;
    m_pProfile->Save();
}

LRESULT CHelloWorldDlg::OnDestroy() {
    LRESULT lResult = CDialog::OnDestroy();
    m_hotKeys.Apply(m_hWnd, false);
    RemoveTrayIcon();
    if (m_pProfile) SavePosition();
    // A recording still running is finished and entered before its engine goes.
    if (m_pController && m_pAudioServer) m_pController->FinishBeforeExit();
    m_pGuards.reset();
    m_pController.reset();
    if (m_pAudioServer) {
        CAudioServer::DestroyInstance();
        m_pAudioServer = nullptr;
    }
    if (m_pSkypeClient) {
        CSkypeClient::DestroyInstance();
        m_pSkypeClient = nullptr;
        m_pCallList = nullptr;
        m_pPartnerMap = nullptr;
    }
    if (m_pCurrentRecord) {
        CCurrentRecord::DestroyInstance();
        m_pCurrentRecord = nullptr;
    }
    if (m_pHistory) {
        CRecordHistory::DestroyInstance();
        m_pHistory = nullptr;
    }
    if (m_pHistoryWnd) {
        m_pHistoryWnd->DestroyWindow();
        delete m_pHistoryWnd;
        m_pHistoryWnd = nullptr;
    }
    if (m_pProfile) {
        CGeneralProfile::DestroyInstance();
        m_pProfile = nullptr;
    }
    return lResult;
}

// ---- Recording controller glue ----

void CHelloWorldDlg::OnBnClickedRecord() {
    if (m_pController) m_pController->OnBnClickedRecord();
}

void CHelloWorldDlg::OnBnClickedPause() {
    if (m_pController) m_pController->OnBnClickedPause();
}

LRESULT CHelloWorldDlg::OnRecordFinished() {
    if (m_pController) m_pController->OnRecordFinished();
    // A recording started here takes the calls that joined during the stop at once.
    UpdateJournalPartners();
    return 1;
}

void CHelloWorldDlg::SetRecordStatus(int nStatus) {
    RecordStatusFace face = GetRecordStatusFace(nStatus);
    m_lblStatus.SetTextColor(face.crText);
    m_lblStatus.SetWindowText(face.strText);
    m_lblStatus.ShowWindow(SW_SHOW);
}

void CHelloWorldDlg::HideRecordStatus() { m_lblStatus.ShowWindow(SW_HIDE); }

void CHelloWorldDlg::SetButtonFace(CMyButtonST& button, UINT nNormal, UINT nHover, UINT nPressed,
                                   const wchar_t* pszTip) {
    button.ShowWindow(SW_HIDE);
    button.SetBitmaps(nHover, KEY_WHITE, nNormal, KEY_WHITE, nPressed, KEY_WHITE);
    button.SetTooltipText(pszTip);
    button.ShowWindow(SW_SHOW);
}

void CHelloWorldDlg::SetRecordButtonStart() {
    SetButtonFace(m_btnRecord, IDB_MAIN_RECORD, IDB_MAIN_RECORD_HOVER, IDB_MAIN_RECORD_PRESSED,
                  L"Start Recording");
    m_btnPause.EnableWindow(false);
}

void CHelloWorldDlg::SetRecordButtonStop() {
    SetButtonFace(m_btnRecord, IDB_MAIN_STOP, IDB_MAIN_STOP_HOVER, IDB_MAIN_STOP_PRESSED,
                  L"Stop Recording");
    m_btnPause.EnableWindow(true);
}

void CHelloWorldDlg::SetPauseButtonPause() {
    SetButtonFace(m_btnPause, IDB_MAIN_PAUSE, IDB_MAIN_PAUSE_HOVER, IDB_MAIN_PAUSE_PRESSED,
                  L"Pause Recording");
}

void CHelloWorldDlg::SetPauseButtonResume() {
    SetButtonFace(m_btnPause, IDB_MAIN_RECORD, IDB_MAIN_RECORD_HOVER, IDB_MAIN_RECORD_PRESSED,
                  L"Resume Recording");
}

bool CHelloWorldDlg::IsIncomingCall() { return m_pSkypeClient && m_pSkypeClient->IsIncomingCall(); }

void CHelloWorldDlg::ResetCallInfo() {
    if (m_pSkypeClient) m_pSkypeClient->ResetCallInfo();
}

void CHelloWorldDlg::RedirectMicrophone(const std::wstring& strId, const std::wstring& strPort) {
    if (m_pSkypeClient) m_pSkypeClient->RedirectMicrophone(strId, strPort);
}

void CHelloWorldDlg::RedirectOutput(const std::wstring& strId, const std::wstring& strPort) {
    if (m_pSkypeClient) m_pSkypeClient->RedirectOutput(strId, strPort);
}

int CHelloWorldDlg::GetRecordState() { return m_pAudioServer ? m_pAudioServer->GetRecordState() : RECSTATE_IDLE; }

void CHelloWorldDlg::SetRecordState(int nState) {
    if (m_pAudioServer) m_pAudioServer->SetRecordState(nState);
}

bool CHelloWorldDlg::StartRecording(const std::wstring& strPath, int nSampleRate, int nBitrate, int nMode,
                                    std::wstring& strFile) {
    DWORD dwError = ERROR_NOT_ENOUGH_MEMORY;
    if (m_pAudioServer) {
        Mp3Tags tags;
        if (m_pCurrentRecord) tags = MakeRecordTags(m_pCurrentRecord->GetEntry());
        // A one-sided recording must not wait for the side that never comes.
        if (m_pAudioServer->StartRecording(strPath.c_str(), nSampleRate, nBitrate, nMode, m_pProfile->m_nRecordSide,
                                           m_pCurrentRecord ? &tags : nullptr)) {
            strFile = m_pAudioServer->GetRecorder()->GetPath();
            // Should the program be killed, the next start enters the recording from this.
            if (m_pCurrentRecord) {
                RecordEntry entry = m_pCurrentRecord->GetEntry();
                entry.m_strFile = strFile;
                m_journal.Write(entry);
                m_strJournalCallIds = m_pCurrentRecord->GetCallIds();
            }
            if (m_pGuards) m_pGuards->OnRecordingStarted();
            return true;
        }
        dwError = ::GetLastError();
    }
    // Shown once the controller is done: a box's message loop must not run call events inside it.
    m_strStartFailure = GetStartFailureMessage(strPath + L".mp3", dwError);
    PostMessage(WM_RECORD_START_FAILED);
    return false;
}

void CHelloWorldDlg::ShowStartFailure() {
    // One box at a time; a failure while it is up is told when it closes.
    if (m_bStartFailureShown) return;
    m_bStartFailureShown = true;
    while (!m_strStartFailure.empty()) {
        std::wstring strText;
        strText.swap(m_strStartFailure);
        NotifyMessageBox(m_hWnd, strText, L"Ombra Skype Recorder Create Mp3 File Failed!", MB_OK | MB_ICONERROR);
    }
    m_bStartFailureShown = false;
}

bool CHelloWorldDlg::CanStartRecording() { return !m_pGuards || m_pGuards->CanStart(); }

Mp3Tags CHelloWorldDlg::MakeRecordTags(const RecordEntry& entry) {
    return BuildRecordTags(entry.m_strName, CContactList::GetInstance()->FormatDisplayNames(entry.m_strName),
                           entry.m_nType, m_pCurrentRecord->GetStartTime());
}

void CHelloWorldDlg::RetagRecording(const RecordEntry& entry) {
    // Partners who joined and full names learnt during the call; should they not
    // fit, the file keeps the tag it began with.
    if (m_pCurrentRecord) RewriteMp3Tags(entry.m_strFile.c_str(), MakeRecordTags(entry));
}

void CHelloWorldDlg::BeginStopRecorder() {
    if (m_pAudioServer && m_pAudioServer->GetRecorder())
        m_pAudioServer->GetRecorder()->BeginStop(m_hWnd, WM_RECORD_FINISHED);
    else
        PostMessage(WM_RECORD_FINISHED);
}

void CHelloWorldDlg::StopRecorder() {
    if (m_pAudioServer && m_pAudioServer->GetRecorder()) m_pAudioServer->GetRecorder()->Stop();
}

int CHelloWorldDlg::GetRecordedSeconds() {
    return m_pAudioServer && m_pAudioServer->GetRecorder() ? m_pAudioServer->GetRecorder()->GetRecordedSeconds() : 0;
}

void CHelloWorldDlg::AddRecord(const RecordEntry& entry) {
    if (!m_pHistory) return;
    m_pHistory->AddRecord(entry);
    if (m_pHistory->HasUnsavedChanges())
        m_journal.Leave();
    else
        m_journal.Remove();
}

void CHelloWorldDlg::AddHistoryItem(const RecordEntry& entry) {
    if (!m_pHistoryWnd) return;
    m_pHistoryWnd->AddRecordItem(entry);
    m_pHistoryWnd->RefreshCounts();
}

void CHelloWorldDlg::EnableRecordButton(bool bEnable) { m_btnRecord.EnableWindow(bEnable); }

void CHelloWorldDlg::SetMeter(CKCBusyProgressCtrl& meter, int nLevel) { meter.ShowPos(nLevel); }

void CHelloWorldDlg::ResetLevelMeters() {
    SetMeter(m_remoteLevel, 0);
    SetMeter(m_micLevel, 0);
}

void CHelloWorldDlg::BringMainWindowToFront() {
    ShowWindow(SW_SHOWNORMAL);
    ::SetForegroundWindow(m_hWnd);
}

void CHelloWorldDlg::ShowHistoryWindow() {
    if (m_pHistoryWnd && m_pHistoryWnd->m_hWnd) m_pHistoryWnd->ShowWindow(SW_SHOW);
}

int64_t CHelloWorldDlg::Now() { return static_cast<int64_t>(std::time(nullptr)); }

// ---- Window ----

void CHelloWorldDlg::AddTrayIcon() {
    m_nid = {};
    m_nid.cbSize = sizeof(NOTIFYICONDATAW);
    m_nid.hWnd = m_hWnd;
    m_nid.uID = TRAY_ICON_ID;
    m_nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    m_nid.uCallbackMessage = WM_TRAY_NOTIFY;
    m_nid.hIcon = m_hIconSmall ? m_hIconSmall : m_hIcon;
    wcsncpy_s(m_nid.szTip, APP_TITLE, 127);
    m_bTrayIcon = ::Shell_NotifyIconW(NIM_ADD, &m_nid) != FALSE;
}

void CHelloWorldDlg::RemoveTrayIcon() {
    // Removing is harmless when adding failed (no notification area).
    ::Shell_NotifyIconW(NIM_DELETE, &m_nid);
    m_bTrayIcon = false;
}

void CHelloWorldDlg::OnTrayNotify(WPARAM wParam, LPARAM lParam) {
    if (wParam != TRAY_ICON_ID) return;
    if (lParam == WM_LBUTTONUP)
        BringMainWindowToFront();
    else if (lParam == WM_RBUTTONUP)
        ShowTrayMenu();
}

void CHelloWorldDlg::ShowTrayMenu() {
    POINT pt{};
    ::GetCursorPos(&pt);
    HMENU hMenu = ::LoadMenuW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_TRAY_MENU));
    if (!hMenu) return;
    HMENU hPopup = ::GetSubMenu(hMenu, 0);
    ::SetForegroundWindow(m_hWnd);
    UINT nCmd = ::TrackPopupMenu(hPopup, TPM_RIGHTALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD, pt.x, pt.y, 0,
                                 m_hWnd, nullptr);
    // Without this the menu does not close when the user clicks elsewhere.
    PostMessage(WM_NULL);
    if (nCmd == ID_TRAY_EXIT)
        PostMessage(WM_QUIT);
    else if (nCmd == ID_TRAY_ABOUT)
        ShowAboutBox();
    ::DestroyMenu(hPopup);
    ::DestroyMenu(hMenu);
}

void CHelloWorldDlg::ShowAboutBox() {
    CAboutDlg about;
    about.DoModal(m_hWnd);
}

void CHelloWorldDlg::OnSkypeRefused() {
    // The box runs a message loop: refusals arriving meanwhile (a Skype that keeps
    // answering our discovery with a refusal) would stack a box and a page each.
    if (m_bRefusedBoxShown) return;
    m_bRefusedBoxShown = true;
    NotifyMessageBox(m_hWnd, GetRefusedMessage(), APP_TITLE, MB_OK | MB_ICONINFORMATION);
    OpenWebPage(GetIssuePageUrl());
    m_bRefusedBoxShown = false;
}

void CHelloWorldDlg::OnSkypeCurrentUser() {
    m_lblUser.ShowWindow(SW_HIDE);
    m_lblUser.SetHoverTracking(false);
    m_lblUser.SetTextColor(RGB(0, 0, 0));
    m_lblUser.SetWindowText(m_pSkypeClient ? m_pSkypeClient->GetCurrentUserHandle() : std::wstring());
    m_lblUser.ShowWindow(SW_SHOW);
    HideRecordStatus();
    SetRecordStatus(RECSTATUS_READY);
}

void CHelloWorldDlg::OnUserStatus(int nStatus) {
    m_lblUser.ShowWindow(SW_HIDE);
    m_lblUser.SetIconIndex(UserStatusIconIndex(nStatus));
    m_lblUser.ShowWindow(SW_SHOW);
}

LRESULT CHelloWorldDlg::OnCommand(UINT nId, UINT nCode, HWND hCtl) {
    // Controls act on a click only (BN_CLICKED and STN_CLICKED are both 0): a double
    // click on the user label must not open the page a second time.
    if (hCtl && nCode != BN_CLICKED && nCode != STN_CLICKED) return CDialog::OnCommand(nId, nCode, hCtl);
    switch (nId) {
        case IDC_MAIN_CLOSE:
            ShowWindow(SW_HIDE);
            if (m_pHistoryWnd && m_pHistoryWnd->m_hWnd) m_pHistoryWnd->ShowWindow(SW_HIDE);
            return 0;
        case IDC_MAIN_RECORD: OnBnClickedRecord(); return 0;
        case IDC_MAIN_PAUSE: OnBnClickedPause(); return 0;
        case IDC_MAIN_USER: OpenWebPage(GetIssuePageUrl()); return 0;
        case IDC_MAIN_SPARE: return 0;
        case IDC_MAIN_HISTORY:
            if (m_pHistoryWnd && m_pHistoryWnd->m_hWnd)
                m_pHistoryWnd->ShowWindow(m_pHistoryWnd->IsWindowVisible() ? SW_HIDE : SW_SHOW);
            return 0;
        case IDC_MAIN_OPTIONS: {
            CDlgOptions dlg(m_hWnd);
            dlg.m_dlgRules.SetFriends(GetContactHandles(*CContactList::GetInstance()));
            if (dlg.DoModal() == IDOK) ApplyRulesPage(true);
            return 0;
        }
        case IDC_MAIN_HELP: OpenWebPage(GetHelpPageUrl()); return 0;
        case IDC_MAIN_DONATE: OpenWebPage(GetDonationPageUrl()); return 0;
        case ID_TRAY_EXIT: PostMessage(WM_QUIT); return 0;
        case ID_TRAY_ABOUT: ShowAboutBox(); return 0;
        default: return CDialog::OnCommand(nId, nCode, hCtl);
    }
}

LRESULT CHelloWorldDlg::OnMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    // A new taskbar (Explorer restarted) has no icons: ours is added again.
    if (uMsg == m_uTaskbarCreated && uMsg != 0) {
        AddTrayIcon();
        return 0;
    }
    if (uMsg == m_uRemoteCommand && uMsg != 0) return RunRemoteCommand(static_cast<int>(wParam), *this);
    switch (uMsg) {
        case WM_TRAY_NOTIFY: OnTrayNotify(wParam, lParam); break;
        case WM_MIC_LEVEL: SetMeter(m_micLevel, static_cast<int>(wParam)); break;
        case WM_REMOTE_LEVEL: SetMeter(m_remoteLevel, static_cast<int>(wParam)); break;
        case WM_SKYPE_USER_STATUS: OnUserStatus(static_cast<int>(wParam)); break;
        case WM_SKYPE_CURRENT_USER: OnSkypeCurrentUser(); break;
        case WM_SKYPE_CALL:
            if (lParam == SKYPE_CALL_STATUS && m_pController)
                m_pController->OnCallStatus(static_cast<int>(static_cast<INT_PTR>(wParam)));
            if (lParam == SKYPE_CALL_PARTNER && m_pController)
                m_pController->OnCallPartner(static_cast<int>(static_cast<INT_PTR>(wParam)));
            UpdateJournalPartners();
            break;
        case WM_SKYPE_REFUSED: OnSkypeRefused(); break;
        case WM_RECORD_FINISHED: OnRecordFinished(); return 1;
        case WM_RECORD_START_FAILED: ShowStartFailure(); return 0;
        case WM_POWERBROADCAST: OnPowerBroadcast(wParam); break;
        case WM_HOTKEY:
            if (wParam == HOTKEY_RECORD && m_btnRecord.IsWindowEnabled()) OnBnClickedRecord();
            if (wParam == HOTKEY_PAUSE && m_btnPause.IsWindowEnabled()) OnBnClickedPause();
            return 0;
        case WM_ENDSESSION:
            if (wParam) OnEndSession();
            break;
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
                ShowAboutBox();
                return 0;
            }
            break;
        case WM_QUERYDRAGICON: return reinterpret_cast<LRESULT>(m_hIcon);
        case WM_DPICHANGED:
            if (lParam) OnDpiChanged(*reinterpret_cast<const RECT*>(lParam));
            return 0;
        case WM_MOVING:
            if (lParam) DockHistory(*reinterpret_cast<RECT*>(lParam));
            break;
        case WM_MOVE:
            // A move made without the window's own move loop (a window manager, the
            // keyboard, another program) brings no WM_MOVING: follow it here. After a
            // drag the history window is already in place and nothing moves.
            if (!::IsIconic(m_hWnd)) DockHistory(GetWindowRect());
            break;
        case WM_WINDOWPOSCHANGING:
            // Only while the window settles at start-up; later moves come through WM_MOVING.
            // Both windows start at the template's place, so the whole corner is compared
            // (left edges alone would agree and leave the history window over this one),
            // and the rectangle the window is about to take counts, not the one it leaves.
            if (m_nPosChanging < DOCKING_POSCHANGES) {
                ++m_nPosChanging;
                if (m_pHistoryWnd && m_pHistoryWnd->m_hWnd && lParam) {
                    const WINDOWPOS& wp = *reinterpret_cast<WINDOWPOS*>(lParam);
                    RECT rcMain = GetWindowRect();
                    if (!(wp.flags & SWP_NOMOVE)) {
                        OffsetRect(&rcMain, wp.x - rcMain.left, wp.y - rcMain.top);
                    }
                    if (!(wp.flags & SWP_NOSIZE)) rcMain.bottom = rcMain.top + wp.cy;
                    RECT rcHistory = m_pHistoryWnd->GetWindowRect();
                    if (rcHistory.left != rcMain.left || rcHistory.top != rcMain.bottom)
                        MoveHistoryTo(m_pHistoryWnd->m_hWnd, rcMain.left, rcMain.bottom);
                }
            }
            break;
        default: break;
    }
    return Default();
}

void CHelloWorldDlg::DockHistory(const RECT& rcMain) {
    if (!m_pHistoryWnd || !m_pHistoryWnd->m_hWnd) return;
    // Only a sideways move takes the history window along; a vertical one leaves it.
    RECT rcHistory = m_pHistoryWnd->GetWindowRect();
    if (rcHistory.left != rcMain.left) MoveHistoryTo(m_pHistoryWnd->m_hWnd, rcMain.left, rcMain.bottom);
}

LRESULT CHelloWorldDlg::OnEraseBkgnd(HDC) { return 1; }

LRESULT CHelloWorldDlg::OnLButtonDown(UINT, POINT pt) {
    // The window has no caption: any point of its body drags it.
    PostMessage(WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(pt.x, pt.y));
    return Default();
}

void CHelloWorldDlg::LayoutSkin(int cx, int cy) {
    // Positions and sizes at 96 DPI, scaled like the skin's pictures.
    const UINT nArt = Dpi::ArtDpi(Dpi::ForWindow(m_hWnd));
    auto s = [nArt](int n) { return Dpi::Scale(n, nArt); };
    const int cIcon = s(16), cMeterX = s(100), cMeterY = s(8), cTool = s(40), cLabel = s(14);
    PlaceControl(m_btnClose, cx - s(1) - cIcon, s(1), cIcon, cIcon);
    PlaceControl(m_btnRecord, s(10), s(30), s(32), s(32));
    PlaceControl(m_btnPause, s(50), s(30), s(32), s(32));

    int xIcons = cx / 4;
    PlaceControl(m_btnMicIcon, xIcons, s(30), cIcon, cIcon);
    int yRemote = s(30) + cIcon - s(5);
    PlaceControl(m_btnRemoteIcon, xIcons, yRemote, cIcon, cIcon);
    PlaceControl(m_micLevel, xIcons + cIcon, s(30 + 3), cMeterX, cMeterY);
    PlaceControl(m_remoteLevel, xIcons + cIcon, yRemote + s(3), cMeterX, cMeterY);

    int x = xIcons + cIcon + cMeterX + s(26);
    for (CMyButtonST* pButton : {&m_btnHistory, &m_btnOptions, &m_btnHelp, &m_btnDonate}) {
        PlaceControl(*pButton, x, s(30), cTool, cTool);
        x += cTool + s(10);
    }

    PlaceControl(m_lblUser, s(3), cy - s(16), s(180), cLabel);
    int xStatus = s(3 + 180);
    PlaceControl(m_lblStatus, xStatus, cy - s(16), std::max<int>(0, cx - s(10) - xStatus), cLabel);
}

void CHelloWorldDlg::OnDpiChanged(const RECT& rcSuggested) {
    // The skin's pictures of the new scale; OnPaint then fits the window to them.
    m_bmpBackground.Load(IDB_MAIN_BACKGROUND, Dpi::ForWindow(m_hWnd));
    for (CMyButtonST* pButton : {&m_btnClose, &m_btnRecord, &m_btnPause, &m_btnMicIcon, &m_btnRemoteIcon,
                                 &m_btnSpare, &m_btnHistory, &m_btnOptions, &m_btnHelp, &m_btnDonate})
        pButton->ReloadBitmaps();
    m_lblUser.ReloadIconList();
    ::SetWindowPos(m_hWnd, nullptr, rcSuggested.left, rcSuggested.top, rcSuggested.right - rcSuggested.left,
                   rcSuggested.bottom - rcSuggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

LRESULT CHelloWorldDlg::OnPaint() {
    if (::IsIconic(m_hWnd)) {
        CPaintDC dc(m_hWnd);
        SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.Get()), 0);
        RECT rc = GetClientRect();
        int cxIcon = ::GetSystemMetrics(SM_CXICON), cyIcon = ::GetSystemMetrics(SM_CYICON);
        ::DrawIcon(dc, (rc.right - cxIcon + 1) / 2, (rc.bottom - cyIcon + 1) / 2, m_hIcon);
        return 0;
    }

    SIZE szSkin = m_bmpBackground.GetSize();
    RECT rcClient = GetClientRect();
    if (szSkin.cx > 0 && (rcClient.right != szSkin.cx || rcClient.bottom != szSkin.cy)) {
        // The window takes the size of its skin, also after a change of scale or a
        // position saved at another one. Its frame stays where it is: moving the frame
        // onto the client rectangle would shift the window by the border width at every start.
        RECT rcWindow = GetWindowRect();
        int cxFrame = (rcWindow.right - rcWindow.left) - rcClient.right;
        int cyFrame = (rcWindow.bottom - rcWindow.top) - rcClient.bottom;
        ::MoveWindow(m_hWnd, rcWindow.left, rcWindow.top, szSkin.cx + cxFrame, szSkin.cy + cyFrame, TRUE);
        rcClient = GetClientRect();
    }
    LayoutSkin(rcClient.right, rcClient.bottom);

    CPaintDC paint(m_hWnd);
    CMemDC dc(paint, rcClient);
    {
        CCompatibleDC dcSkin(dc);
        CSelectObject selBmp(dcSkin, m_bmpBackground);
        ::BitBlt(dc, 0, 0, rcClient.right, rcClient.bottom, dcSkin, 0, 0, SRCCOPY);
    }
    LOGFONTW lf{};
    ::GetObjectW(::GetCurrentObject(paint, OBJ_FONT), sizeof(lf), &lf);
    wcscpy_s(lf.lfFaceName, L"Arial");
    CFont font(lf);
    CSelectObject selFont(dc, font);
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, COLOR_TITLE);
    const UINT nArt = Dpi::ArtDpi(Dpi::ForWindow(m_hWnd));
    RECT rcTitle{Dpi::Scale(21, nArt), Dpi::Scale(3, nArt), rcClient.right - Dpi::Scale(60, nArt), Dpi::Scale(20, nArt)};
    ::DrawTextW(dc, APP_TITLE, -1, &rcTitle, DT_SINGLELINE | DT_LEFT | DT_VCENTER | DT_NOPREFIX);
    return 0;
}
