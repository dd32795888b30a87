#pragma once
// The options dialog: a flat tab control with the pages "General",
// "Call Recording", "MP3 Quality" and "Rules" over it, "Apply" and "Cancel".
// Clicks change the profile at once; Apply stores it and the start-with-Windows
// entry; Cancel brings the profile back to what is stored.
#include "base/Dialog.h"
#include "settings/DlgOptionsPages.h"
#include "settings/DlgRulesSettings.h"
#include "settings/GeneralProfile.h"
#include "widgets/EnTabCtrl.h"

inline constexpr int OPTIONS_PAGE_GENERAL = 0;
inline constexpr int OPTIONS_PAGE_RECORDING = 1;
inline constexpr int OPTIONS_PAGE_QUALITY = 2;
inline constexpr int OPTIONS_PAGE_RULES = 3;

class CDlgOptions : public CDialog {
public:
    explicit CDlgOptions(HWND hParent = nullptr);

    // Runs the dialog modally over the parent given at construction.
    INT_PTR DoModal() { return CDialog::DoModal(m_hParent); }
    // Selects a tab and shows its page, as a click on the tab would.
    void SelectPage(int nPage);
    int GetSelectedPage() const { return m_tab.GetCurSel(); }

    CEnTabCtrl m_tab;
    CDlgGeneralSettings m_dlgGeneral;
    CDlgRecordingSettings m_dlgRecording;
    CDlgAdvanceSettings m_dlgAdvance;
    CDlgRulesSettings m_dlgRules;
    CGeneralProfile* m_pProfile = nullptr;

protected:
    BOOL OnInitDialog() override;
    LRESULT OnNotify(UINT nId, NMHDR* pHdr) override;
    void OnOK() override;      // "Apply"
    void OnCancel() override;  // "Cancel"
    void ShowPage(int nPage);

    HWND m_hParent;
    HICON m_hIcon = nullptr;
    HICON m_hIconSmall = nullptr;
};
