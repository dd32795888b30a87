#include "app/RecordGuards.h"

#include <shellapi.h>

#include <cwchar>

#include "app/CurrentRecord.h"
#include "app/RecordController.h"
#include "audio/AudioServer.h"
#include "settings/GeneralProfile.h"

namespace {
// Apart from the main window's own timers.
constexpr UINT_PTR TIMER_DISK_GUARD = 0x4701;
constexpr UINT_PTR TIMER_ONESIDED_GUARD = 0x4702;
}  // namespace

CRecordGuards::CRecordGuards(HWND hWnd, UINT nTrayId, CRecordController& controller, CGeneralProfile& profile,
                             CAudioServer* pAudio, CCurrentRecord& record)
    : m_hWnd(hWnd), m_nTrayId(nTrayId), m_controller(controller), m_profile(profile), m_pAudio(pAudio),
      m_record(record) {
    ::SetTimer(m_hWnd, TIMER_DISK_GUARD, DISK_CHECK_MS, nullptr);
    ::SetTimer(m_hWnd, TIMER_ONESIDED_GUARD, ONESIDED_CHECK_MS, nullptr);
}

CRecordGuards::~CRecordGuards() {
    ::KillTimer(m_hWnd, TIMER_DISK_GUARD);
    ::KillTimer(m_hWnd, TIMER_ONESIDED_GUARD);
}

bool CRecordGuards::OnTimer(UINT_PTR nId) {
    if (nId == TIMER_DISK_GUARD)
        m_disk.Check();
    else if (nId == TIMER_ONESIDED_GUARD)
        m_oneSided.Check();
    else
        return false;
    return true;
}

bool CRecordGuards::IsRecordingActive() { return m_controller.IsRecordingActive(); }

std::wstring CRecordGuards::GetRecordFolder() { return m_profile.m_strFolder; }

void CRecordGuards::ShowBalloon(const std::wstring& strTitle, const std::wstring& strText) {
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof(NOTIFYICONDATAW);
    nid.hWnd = m_hWnd;
    nid.uID = m_nTrayId;
    nid.uFlags = NIF_INFO;
    wcsncpy_s(nid.szInfoTitle, strTitle.c_str(), _TRUNCATE);
    wcsncpy_s(nid.szInfo, strText.c_str(), _TRUNCATE);
    nid.dwInfoFlags = NIIF_WARNING;
    ::Shell_NotifyIconW(NIM_MODIFY, &nid);
}

void CRecordGuards::StopRecording() {
    if (m_controller.IsRecordingActive()) m_controller.OnBnClickedRecord();
}

bool CRecordGuards::QuietWriteFailures() {
    return m_pAudio && m_pAudio->GetRecorder() && m_pAudio->GetRecorder()->QuietWriteFailures();
}

bool CRecordGuards::GetSilentMs(int64_t& nMicMs, int64_t& nRemoteMs) {
    if (!m_pAudio || m_profile.m_nRecordSide != RECSIDE_BOTH) return false;
    const int nState = m_pAudio->GetRecordState();
    CRecorder* pRecorder = m_pAudio->GetRecorder();
    if ((nState != RECSTATE_RECORDING && nState != RECSTATE_RESUMED) || !pRecorder || !pRecorder->IsActive())
        return false;
    nMicMs = pRecorder->GetSilentMs(true);
    nRemoteMs = pRecorder->GetSilentMs(false);
    return true;
}

void CRecordGuards::MarkOneSided(const std::wstring& strSide) { m_record.SetOneSided(strSide); }
