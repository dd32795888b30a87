#include "settings/DlgOptionsPages.h"

#include <shellapi.h>
#include <shlobj.h>

#include "../../resources/ids_options.h"
#include "base/Gdi.h"
#include "widgets/BaseTabCtrl.h"

namespace {
constexpr UINT IDS_SIDES[] = {IDC_OPT_SIDE_BOTH, IDC_OPT_SIDE_MINE, IDC_OPT_SIDE_REMOTE};
constexpr UINT IDS_MODES[] = {IDC_OPT_MODE_MONO, IDC_OPT_MODE_STEREO, IDC_OPT_MODE_JOINT};
constexpr UINT IDS_BITRATES[] = {IDC_OPT_BITRATE_32,  IDC_OPT_BITRATE_64,  IDC_OPT_BITRATE_96,
                                 IDC_OPT_BITRATE_128, IDC_OPT_BITRATE_192, IDC_OPT_BITRATE_256};
constexpr UINT IDS_SAMPLES[] = {IDC_OPT_SAMPLE_16000, IDC_OPT_SAMPLE_32000, IDC_OPT_SAMPLE_44100,
                                IDC_OPT_SAMPLE_48000};

// Position of nId in a group, or -1.
template <size_t N>
int IndexIn(const UINT (&ids)[N], UINT nId) {
    for (size_t i = 0; i < N; ++i)
        if (ids[i] == nId) return (int)i;
    return -1;
}
}  // namespace

LRESULT COptionsPage::OnEraseBkgnd(HDC hDC) {
    // The page lies over the tab control: paint the tab's own drawing of this
    // area, so the page looks like part of it whatever order the two paint in.
    if (m_pTab && m_pTab->IsWindow()) {
        RECT rc = GetClientRect();
        POINT pt{0, 0};
        ::MapWindowPoints(m_hWnd, *m_pTab, &pt, 1);
        RECT rcTab = m_pTab->GetClientRect();
        CSaveDC save(hDC);
        ::SetWindowOrgEx(hDC, pt.x, pt.y, nullptr);
        ::IntersectClipRect(hDC, pt.x, pt.y, pt.x + rc.right, pt.y + rc.bottom);
        m_pTab->DrawAll(hDC, rcTab);
    }
    return 1;
}

// ---- General ----

CDlgGeneralSettings::CDlgGeneralSettings() : COptionsPage(IDD_OPTIONS_GENERAL) {}

BOOL CDlgGeneralSettings::OnInitDialog() {
    m_pProfile = CGeneralProfile::GetInstance();
    m_bAutoStart = m_pProfile->m_bAutoStart;
    m_bNotifyConversation = m_pProfile->m_bNotifyConversation;
    m_bNotifyFinish = m_pProfile->m_bNotifyFinish;
    m_bNotifyHistory = m_pProfile->m_bNotifyHistory;
    UpdateData(false);
    return TRUE;
}

void CDlgGeneralSettings::DoDataExchange(bool bSave) {
    DDX_Check(m_hWnd, bSave, IDC_OPT_AUTOSTART, m_bAutoStart);
    DDX_Check(m_hWnd, bSave, IDC_OPT_NOTIFY_CONVERSATION, m_bNotifyConversation);
    DDX_Check(m_hWnd, bSave, IDC_OPT_NOTIFY_FINISH, m_bNotifyFinish);
    DDX_Check(m_hWnd, bSave, IDC_OPT_NOTIFY_HISTORY, m_bNotifyHistory);
}

LRESULT CDlgGeneralSettings::OnCommand(UINT nId, UINT nCode, HWND hCtl) {
    if (nCode != BN_CLICKED || !m_pProfile) return COptionsPage::OnCommand(nId, nCode, hCtl);
    UpdateData(true);
    switch (nId) {
    case IDC_OPT_AUTOSTART: m_pProfile->m_bAutoStart = m_bAutoStart; break;
    case IDC_OPT_NOTIFY_CONVERSATION: m_pProfile->m_bNotifyConversation = m_bNotifyConversation; break;
    case IDC_OPT_NOTIFY_FINISH: m_pProfile->m_bNotifyFinish = m_bNotifyFinish; break;
    case IDC_OPT_NOTIFY_HISTORY: m_pProfile->m_bNotifyHistory = m_bNotifyHistory; break;
    default: return COptionsPage::OnCommand(nId, nCode, hCtl);
    }
    return 0;
}

// ---- Call Recording ----

std::wstring BrowseForFolder(HWND hOwner) {
    BROWSEINFOW bi{};
    bi.hwndOwner = hOwner;
    bi.pidlRoot = nullptr;  // the desktop
    bi.lpszTitle = L"Select recording folder";
    bi.ulFlags = BIF_RETURNONLYFSDIRS;
    PIDLIST_ABSOLUTE pidl = ::SHBrowseForFolderW(&bi);
    if (!pidl) return std::wstring();
    wchar_t szPath[520] = {};
    // A virtual folder without a file-system path gives an empty result.
    bool bOk = ::SHGetPathFromIDListW(pidl, szPath) != FALSE;
    ::CoTaskMemFree(pidl);
    return bOk ? std::wstring(szPath) : std::wstring();
}

CDlgRecordingSettings::CDlgRecordingSettings() : COptionsPage(IDD_OPTIONS_RECORDING) {}

BOOL CDlgRecordingSettings::OnInitDialog() {
    m_pProfile = CGeneralProfile::GetInstance();
    m_nRecordType = m_pProfile->m_nRecordType != 0 ? 0 : 1;
    m_nRecordSide = m_pProfile->m_nRecordSide;
    m_strFolder = m_pProfile->m_strFolder;
    UpdateData(false);
    return TRUE;
}

void CDlgRecordingSettings::DoDataExchange(bool bSave) {
    DDX_Radio(m_hWnd, bSave, {IDC_OPT_REC_AUTO, IDC_OPT_REC_MANUAL}, m_nRecordType);
    DDX_Radio(m_hWnd, bSave, {IDS_SIDES[0], IDS_SIDES[1], IDS_SIDES[2]}, m_nRecordSide);
    DDX_Text(m_hWnd, bSave, IDC_OPT_FOLDER, m_strFolder);
}

void CDlgRecordingSettings::OnOpenFolder() {
    UpdateData(true);
    // With no folder the shell would open some default place instead.
    if (m_strFolder.empty()) return;
    // No error box from the shell: a missing folder is simply not opened.
    SHELLEXECUTEINFOW sei{};
    sei.cbSize = sizeof(sei);
    sei.fMask = SEE_MASK_FLAG_NO_UI;
    sei.hwnd = m_hWnd;
    sei.lpVerb = L"explore";
    sei.lpFile = m_strFolder.c_str();
    sei.nShow = SW_SHOWNA;
    ::ShellExecuteExW(&sei);
}

void CDlgRecordingSettings::OnBrowseFolder() {
    UpdateData(true);
    std::wstring strPath = BrowseForFolder(m_hWnd);
    if (!strPath.empty()) m_strFolder = strPath;
    m_pProfile->m_strFolder = m_strFolder;
    UpdateData(false);
}

LRESULT CDlgRecordingSettings::OnCommand(UINT nId, UINT nCode, HWND hCtl) {
    if (nCode != BN_CLICKED || !m_pProfile) return COptionsPage::OnCommand(nId, nCode, hCtl);
    switch (nId) {
    case IDC_OPT_REC_AUTO:
    case IDC_OPT_REC_MANUAL:
        UpdateData(true);
        m_nRecordType = nId == IDC_OPT_REC_AUTO ? 0 : 1;
        m_pProfile->m_nRecordType = nId == IDC_OPT_REC_AUTO ? 1 : 0;
        return 0;
    case IDC_OPT_SIDE_BOTH:
    case IDC_OPT_SIDE_MINE:
    case IDC_OPT_SIDE_REMOTE:
        UpdateData(true);
        m_nRecordSide = IndexIn(IDS_SIDES, nId);
        m_pProfile->m_nRecordSide = m_nRecordSide;
        return 0;
    case IDC_OPT_FOLDER_OPEN:
        OnOpenFolder();
        return 0;
    case IDC_OPT_FOLDER_BROWSE:
        OnBrowseFolder();
        return 0;
    default:
        return COptionsPage::OnCommand(nId, nCode, hCtl);
    }
}

// ---- MP3 Quality ----

CDlgAdvanceSettings::CDlgAdvanceSettings() : COptionsPage(IDD_OPTIONS_ADVANCED) {}

BOOL CDlgAdvanceSettings::OnInitDialog() {
    m_pProfile = CGeneralProfile::GetInstance();
    m_nAudioMode = m_pProfile->m_nAudioMode;
    m_nAudioBitrate = m_pProfile->m_nAudioBitrate;
    m_nAudioSample = m_pProfile->m_nAudioSample;
    UpdateData(false);
    return TRUE;
}

void CDlgAdvanceSettings::DoDataExchange(bool bSave) {
    DDX_Radio(m_hWnd, bSave, {IDS_MODES[0], IDS_MODES[1], IDS_MODES[2]}, m_nAudioMode);
    DDX_Radio(m_hWnd, bSave,
              {IDS_BITRATES[0], IDS_BITRATES[1], IDS_BITRATES[2], IDS_BITRATES[3], IDS_BITRATES[4], IDS_BITRATES[5]},
              m_nAudioBitrate);
    DDX_Radio(m_hWnd, bSave, {IDS_SAMPLES[0], IDS_SAMPLES[1], IDS_SAMPLES[2], IDS_SAMPLES[3]}, m_nAudioSample);
}

LRESULT CDlgAdvanceSettings::OnCommand(UINT nId, UINT nCode, HWND hCtl) {
    if (nCode != BN_CLICKED || !m_pProfile) return COptionsPage::OnCommand(nId, nCode, hCtl);
    int nIndex;
    if ((nIndex = IndexIn(IDS_MODES, nId)) >= 0) {
        UpdateData(true);
        m_nAudioMode = nIndex;
        m_pProfile->m_nAudioMode = nIndex;
    } else if ((nIndex = IndexIn(IDS_BITRATES, nId)) >= 0) {
        UpdateData(true);
        m_nAudioBitrate = nIndex;
        m_pProfile->m_nAudioBitrate = nIndex;
    } else if ((nIndex = IndexIn(IDS_SAMPLES, nId)) >= 0) {
        UpdateData(true);
        m_nAudioSample = nIndex;
        m_pProfile->m_nAudioSample = nIndex;
    } else {
        return COptionsPage::OnCommand(nId, nCode, hCtl);
    }
    return 0;
}
