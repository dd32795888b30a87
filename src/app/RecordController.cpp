#include "app/RecordController.h"

#include <algorithm>
#include <ctime>

#include "app/RecordRules.h"
#include "settings/GeneralProfile.h"
#include "skype/CallList.h"
#include "skype/CallPartnerMap.h"
#include "skype/ContactList.h"
#include "skype/SkypeStatus.h"

namespace {
constexpr COLORREF STATUS_RED = RGB(226, 0, 0);
constexpr COLORREF STATUS_BLACK = RGB(0, 0, 0);

bool IsActiveState(int nState) {
    return nState == RECSTATE_RECORDING || nState == RECSTATE_PAUSED ||
           nState == RECSTATE_RESUMED;
}

bool FileExists(const std::wstring& strPath) {
    DWORD dwAttr = ::GetFileAttributesW(strPath.c_str());
    return dwAttr != INVALID_FILE_ATTRIBUTES && !(dwAttr & FILE_ATTRIBUTE_DIRECTORY);
}
}  // namespace

RecordStatusFace GetRecordStatusFace(int nStatus) {
    switch (nStatus) {
        case RECSTATUS_WAITING: return {L"Waiting to access Skype ...", STATUS_RED};
        case RECSTATUS_READY: return {L"Ready for recording ...", STATUS_BLACK};
        case RECSTATUS_RECORDING: return {L"Recording in progress ...", STATUS_RED};
        case RECSTATUS_PAUSED: return {L"Recording pause ...", STATUS_RED};
        default: return {L"", STATUS_BLACK};
    }
}

int ConvertSampleRate(int nIndex) {
    static const int rates[] = {16000, 32000, 44100, 48000};
    return nIndex >= 0 && nIndex < 4 ? rates[nIndex] : 0;
}

int ConvertBitrate(int nIndex) {
    static const int rates[] = {32, 64, 96, 128, 192, 256};
    return nIndex >= 0 && nIndex < 6 ? rates[nIndex] : 0;
}

int ConvertChannelMode(int nIndex) { return nIndex >= 0 && nIndex <= 2 ? nIndex : 0; }

std::wstring MakeFileNamePart(const std::wstring& strName) {
    std::wstring strSafe = strName;
    for (wchar_t& ch : strSafe) {
        if (ch < 32 || ch == 127 || std::wstring_view(L"\\/:*?\"<>|").find(ch) != std::wstring_view::npos)
            ch = L'_';
    }
    return strSafe;
}

std::wstring FormatRecordStamp(int64_t tNow) {
    time_t t = static_cast<time_t>(tNow);
    struct tm local {};
    if (localtime_s(&local, &t) != 0) return std::wstring();
    wchar_t buf[128];
    size_t n = std::wcsftime(buf, 128, L"%Y-%m-%d_%H-%M-%S", &local);
    return std::wstring(buf, n);
}

std::wstring BuildRecordPath(const std::wstring& strFolder, const std::wstring& strName,
                             int64_t tNow) {
    return strFolder + L"\\" + MakeFileNamePart(strName) + L"_" + FormatRecordStamp(tNow);
}

Mp3Tags BuildRecordTags(const std::wstring& strHandles, const std::wstring& strNames, int nType,
                        int64_t tStart) {
    Mp3Tags tags;
    tags.strTitle = L"Call with " + strNames;
    tags.strArtist = strNames;
    tags.strAlbum = L"Ombra Skype Recorder";
    tags.strComment = L"Skype: " + strHandles + (nType == 1 ? L" (incoming call)" : L" (outgoing call)");
    time_t t = static_cast<time_t>(tStart);
    struct tm local {};
    if (localtime_s(&local, &t) == 0) {
        tags.stRecorded.wYear = static_cast<WORD>(local.tm_year + 1900);
        tags.stRecorded.wMonth = static_cast<WORD>(local.tm_mon + 1);
        tags.stRecorded.wDay = static_cast<WORD>(local.tm_mday);
        tags.stRecorded.wHour = static_cast<WORD>(local.tm_hour);
        tags.stRecorded.wMinute = static_cast<WORD>(local.tm_min);
        tags.stRecorded.wSecond = static_cast<WORD>(local.tm_sec);
    }
    return tags;
}

int GetAudioRoutes(int nRecordSide, AudioRoute routes[2]) {
    if (nRecordSide == 0) {
        routes[0] = {false, REMOTE_PORT_TEXT};
        routes[1] = {true, MIC_PORT_TEXT};
        return 2;
    }
    if (nRecordSide == 1) {
        routes[0] = {true, MIC_PORT_TEXT};
        return 1;
    }
    routes[0] = {false, REMOTE_PORT_TEXT};
    return 1;
}

CRecordController::CRecordController(IRecordHost& host, CCallList& calls,
                                     CCallPartnerMap& partners, CGeneralProfile& profile,
                                     CCurrentRecord& record)
    : m_host(host), m_calls(calls), m_partners(partners), m_profile(profile), m_record(record) {}

bool CRecordController::IsRecordingActive() { return IsActiveState(m_host.GetRecordState()); }

void CRecordController::RouteAudio(const std::wstring& strId) {
    AudioRoute routes[2];
    int nRoutes = GetAudioRoutes(m_profile.m_nRecordSide, routes);
    for (int i = 0; i < nRoutes; ++i) {
        if (routes[i].bMicrophone)
            m_host.RedirectMicrophone(strId, routes[i].pszPort);
        else
            m_host.RedirectOutput(strId, routes[i].pszPort);
    }
}

void CRecordController::OnCallStatus(int nSlot) {
    int nStatus = m_calls.GetStatus(nSlot);
    std::wstring strId = m_calls.GetCallId(nSlot);

    if (nStatus == CALL_STATUS_INPROGRESS) {
        // A call that goes in progress while a recording stops gets one of its own
        // once that recording is entered; it never joins the one that is ending.
        if (!IsRecordingRunning()) {
            if (m_profile.m_bNotifyConversation) m_host.BringMainWindowToFront();
            if (m_profile.m_nRecordType != 0 && PassesRule(strId)) StartAutomatically(strId);
        }
        m_host.EnableRecordButton(true);
        if (strId.empty()) return;
        // A call joining a running recording (conference, second call, back from hold);
        // one the user started takes every call, as the user chose to record.
        if (IsRecordingRunning()) {
            if (!m_bAutoStarted || PassesRule(strId)) {
                RouteAudio(strId);
                m_record.AddCallId(strId);
            }
        } else if (m_bStartAfterStop &&
                   std::find(m_joinAfterStop.begin(), m_joinAfterStop.end(), strId) == m_joinAfterStop.end()) {
            m_joinAfterStop.push_back(strId);
        }
        return;
    }
    if (!IsCallStatusEnded(nStatus)) return;

    // A recording ends with the last of its own calls; a call that was running before
    // a manual start and never joined neither keeps it going nor is needed to end it.
    if (IsRecordingRunning() && !IsAnyOwnCallActive()) {
        if (m_profile.m_bNotifyFinish) m_host.BringMainWindowToFront();
        if (m_profile.m_bNotifyHistory) m_host.ShowHistoryWindow();
        OnBnClickedRecord();
    }
    if (!m_calls.IsAnyCallActive()) {
        m_host.ResetCallInfo();
        // A running recording keeps its stop button.
        if (!IsRecordingRunning()) m_host.EnableRecordButton(false);
    }
}

bool CRecordController::IsRecordingRunning() { return IsRecordingActive() && !m_bStopping; }

void CRecordController::OnCallPartner(int nSlot) {
    // Skype tells the partner after the call went in progress: the rule decides now.
    if (m_profile.m_nRuleMode == RULE_RECORD_ALL) return;
    std::wstring strId = m_calls.GetCallId(nSlot);
    if (strId.empty() || m_calls.GetStatus(nSlot) != CALL_STATUS_INPROGRESS || !PassesRule(strId)) return;
    if (IsRecordingRunning() ? !m_bAutoStarted || IsOwnCall(strId) : m_profile.m_nRecordType == 0) return;
    OnCallStatus(nSlot);
}

bool CRecordController::PassesRule(const std::wstring& strCallId) const {
    return PassesRecordRule(m_profile.m_nRuleMode, m_profile.m_ruleList, m_calls.GetPartner(strCallId));
}

bool CRecordController::IsOwnCall(const std::wstring& strCallId) const {
    bool bFound = false;
    ForEachCommaPiece(m_record.GetCallIds(), [&](const std::wstring& strPiece) { bFound |= strPiece == strCallId; });
    return bFound;
}

bool CRecordController::IsAnyOwnCallActive() const {
    const std::wstring& strIds = m_record.GetCallIds();
    for (size_t nBegin = 0; nBegin <= strIds.size();) {
        size_t nEnd = strIds.find(L',', nBegin);
        if (nEnd == std::wstring::npos) nEnd = strIds.size();
        int nSlot = m_calls.FindCall(strIds.substr(nBegin, nEnd - nBegin));
        if (nSlot >= 0 && IsCallStatusActive(m_calls.GetStatus(nSlot))) return true;
        nBegin = nEnd + 1;
    }
    return false;
}

void CRecordController::OnBnClickedRecord() {
    if (IsRecordingRunning()) {
        Stop();
    } else if (m_bStopping) {
        // The button shows its start face: never a second stop.
        m_bStartAfterStop = true;
        m_bAutoAfterStop = false;
    } else {
        Start();
    }
}

void CRecordController::Start() {
    std::wstring strId, strPartner;
    m_calls.GetCurrentCall(strId, strPartner);
    StartWith(strId, strPartner);
    m_bAutoStarted = false;
}

void CRecordController::StartAutomatically(const std::wstring& strCallId) {
    // During a stop the call gets its own recording once that one is entered.
    if (m_bStopping) {
        if (!m_bStartAfterStop) m_bAutoAfterStop = true;
        m_bStartAfterStop = true;
        return;
    }
    std::wstring strId, strPartner;
    m_calls.GetCurrentCall(strId, strPartner);
    // The earliest call names the recording unless the rule keeps it out.
    if (!strId.empty() && strId != strCallId && !PassesRule(strId)) {
        strId = strCallId;
        strPartner = m_calls.GetPartner(strCallId);
    }
    StartWith(strId, strPartner);
    m_bAutoStarted = true;
}

void CRecordController::StartWith(const std::wstring& strId, const std::wstring& strPartner) {
    if (strId.empty() || !m_host.CanStartRecording()) return;

    std::wstring strName = strPartner;
    if (strName.empty()) strName = m_calls.GetPartner(strId);
    // A call answered right after another ended lost its slot to the reset; the map
    // still knows its partner (or gives the id).
    if (strName.empty()) strName = m_partners.Lookup(strId);

    // The history keeps the real handle; only the file name is made safe.
    std::wstring strPath = BuildRecordPath(m_profile.m_strFolder, strName, m_host.Now());
    m_record.AddCallId(strId);
    m_record.Begin(strName, m_host.IsIncomingCall() ? 1 : 2, strPath);
    std::wstring strFile;
    if (!m_host.StartRecording(strPath, ConvertSampleRate(m_profile.m_nAudioSample),
                               ConvertBitrate(m_profile.m_nAudioBitrate),
                               ConvertChannelMode(m_profile.m_nAudioMode), strFile)) {
        // Nothing runs: the window stays ready for the next try.
        m_record.Reset();
        m_host.HideRecordStatus();
        m_host.SetRecordStatus(RECSTATUS_READY);
        return;
    }
    m_record.SetFile(strFile);
    m_host.SetRecordState(RECSTATE_RECORDING);
    m_bUnfinished = true;
    m_bStopping = false;
    m_host.HideRecordStatus();
    m_host.SetRecordStatus(RECSTATUS_RECORDING);
    m_host.SetRecordButtonStop();
    m_host.SetPauseButtonPause();
    RouteAudio(strId);
}

void CRecordController::Stop() {
    m_bStopping = true;
    m_host.BeginStopRecorder();
    m_host.SetRecordButtonStart();
    m_host.SetPauseButtonPause();
    m_host.ResetLevelMeters();
    m_host.HideRecordStatus();
    m_host.SetRecordStatus(RECSTATUS_READY);
}

void CRecordController::OnBnClickedPause() {
    if (m_bStopping) return;
    int nState = m_host.GetRecordState();
    if (nState == RECSTATE_RECORDING || nState == RECSTATE_RESUMED) {
        m_host.SetRecordState(RECSTATE_PAUSED);
        m_record.PauseBegin();
        m_host.SetPauseButtonResume();
        m_host.HideRecordStatus();
        m_host.SetRecordStatus(RECSTATUS_PAUSED);
    } else if (nState == RECSTATE_PAUSED) {
        m_host.SetRecordState(RECSTATE_RESUMED);
        m_record.PauseEnd();
        m_host.SetPauseButtonPause();
        m_host.HideRecordStatus();
        m_host.SetRecordStatus(RECSTATUS_RECORDING);
    }
}

void CRecordController::OnRecordFinished() {
    // One finish per stop; anything else (a stale message) finds no stop under way.
    if (!m_bStopping) return;
    EnterRecording();
    StartAfterStop();
}

void CRecordController::EnterRecording() {
    if (!m_bUnfinished) return;
    m_bUnfinished = false;
    m_bStopping = false;

    m_host.StopRecorder();
    m_host.SetRecordState(RECSTATE_STOPPED);

    RecordEntry entry;
    m_record.Finish(entry);
    // The audio the file holds: pauses and sleeps are not in it, and a clock set
    // back or forward during the call changes nothing.
    entry.m_nDuration = m_host.GetRecordedSeconds();
    if (!m_record.GetCallIds().empty()) entry.m_strName = m_partners.TranslateCallIds(m_record.GetCallIds());
    // A file deleted during the recording would only be a dead row.
    if (FileExists(entry.m_strFile)) {
        m_host.RetagRecording(entry);
        m_host.AddRecord(entry);
        m_host.AddHistoryItem(entry);
    }
    m_record.Reset();
}

void CRecordController::StartAfterStop() {
    if (!m_bStartAfterStop) return;
    m_bStartAfterStop = false;
    std::vector<std::wstring> joining;
    joining.swap(m_joinAfterStop);
    if (m_bAutoAfterStop && !joining.empty())
        StartAutomatically(joining.front());
    else
        Start();
    m_bAutoAfterStop = false;
    if (!IsRecordingRunning()) return;
    for (const std::wstring& strId : joining) {
        int nSlot = m_calls.FindCall(strId);
        if (nSlot < 0 || !IsCallStatusActive(m_calls.GetStatus(nSlot))) continue;
        if (m_bAutoStarted && !PassesRule(strId)) continue;
        RouteAudio(strId);
        m_record.AddCallId(strId);
    }
}

void CRecordController::FinishBeforeExit() {
    // Nothing new starts at exit.
    m_bStartAfterStop = false;
    m_bAutoAfterStop = false;
    m_joinAfterStop.clear();
    EnterRecording();
}
