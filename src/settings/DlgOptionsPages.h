#pragma once
// The three pages of the options dialog. Each is a child dialog over the tab
// control; every click changes the profile in memory at once, so the recording
// controller sees it at its next decision.
#include <string>

#include "base/Dialog.h"
#include "settings/GeneralProfile.h"

class CBaseTabCtrl;

// What the pages share: the profile, the tab control's look as background.
class COptionsPage : public CDialog {
public:
    explicit COptionsPage(UINT nIdTemplate) : CDialog(nIdTemplate) {}
    // The tab control whose drawing shows behind the page.
    void SetTabCtrl(CBaseTabCtrl* pTab) { m_pTab = pTab; }

protected:
    // A page never ends: Enter and Escape belong to the options dialog.
    void OnOK() override {}
    void OnCancel() override {}
    // Nothing is erased: the tab control's drawing shows through.
    LRESULT OnEraseBkgnd(HDC hDC) override;

    CGeneralProfile* m_pProfile = nullptr;
    CBaseTabCtrl* m_pTab = nullptr;
};

// Page "General": starting with Windows and bringing windows to the front.
class CDlgGeneralSettings : public COptionsPage {
public:
    CDlgGeneralSettings();

    bool m_bAutoStart = false;
    bool m_bNotifyConversation = false;
    bool m_bNotifyFinish = false;
    bool m_bNotifyHistory = false;

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(bool bSave) override;
    LRESULT OnCommand(UINT nId, UINT nCode, HWND hCtl) override;
};

// Shell folder browser titled "Select recording folder"; empty when cancelled.
std::wstring BrowseForFolder(HWND hOwner);

// Page "Call Recording": automatic or manual, which sides, the folder.
class CDlgRecordingSettings : public COptionsPage {
public:
    CDlgRecordingSettings();

    int m_nRecordType = 0;  // 0 "Automatically record calls", 1 "Manually": the reverse of "rectype"
    int m_nRecordSide = 0;
    std::wstring m_strFolder;

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(bool bSave) override;
    LRESULT OnCommand(UINT nId, UINT nCode, HWND hCtl) override;
    void OnOpenFolder();
    void OnBrowseFolder();
};

// Page "MP3 Quality" (template "Advanced Settings"): the encoder's indexes.
class CDlgAdvanceSettings : public COptionsPage {
public:
    CDlgAdvanceSettings();

    int m_nAudioMode = 0;
    int m_nAudioBitrate = 0;
    int m_nAudioSample = 0;

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(bool bSave) override;
    LRESULT OnCommand(UINT nId, UINT nCode, HWND hCtl) override;
};
