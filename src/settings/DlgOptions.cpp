#include "settings/DlgOptions.h"

#include <commctrl.h>

#include "../../resources/resource.h"

CDlgOptions::CDlgOptions(HWND hParent) : CDialog(IDD_OPTIONS), m_hParent(hParent) {
    HINSTANCE hInst = ::GetModuleHandleW(nullptr);
    m_hIcon = (HICON)::LoadImageW(hInst, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON, ::GetSystemMetrics(SM_CXICON),
                                  ::GetSystemMetrics(SM_CYICON), LR_SHARED);
    m_hIconSmall = (HICON)::LoadImageW(hInst, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                       ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), LR_SHARED);
}

BOOL CDlgOptions::OnInitDialog() {
    if (m_hIcon) SendMessage(WM_SETICON, ICON_BIG, (LPARAM)m_hIcon);
    if (m_hIconSmall) SendMessage(WM_SETICON, ICON_SMALL, (LPARAM)m_hIconSmall);

    m_tab.SubclassDlgItem(IDC_OPT_TAB, m_hWnd);
    m_tab.SetWindowText(L"Pages");  // its name for screen readers
    m_tab.InsertItem(OPTIONS_PAGE_GENERAL, L"General");
    m_tab.InsertItem(OPTIONS_PAGE_RECORDING, L"Call Recording");
    m_tab.InsertItem(OPTIONS_PAGE_QUALITY, L"MP3 Quality");
    m_tab.InsertItem(OPTIONS_PAGE_RULES, L"Rules");

    // What was clicked and not applied since the last save is replaced by the stored values.
    m_pProfile = CGeneralProfile::GetInstance();
    m_pProfile->Load();

    m_tab.EnableDraw(BTC_ALL);
    // The pages paint their own part of the tab's drawing; the tab leaves them alone.
    m_tab.ModifyStyle(0, WS_CLIPSIBLINGS);

    COptionsPage* pages[] = {&m_dlgGeneral, &m_dlgRecording, &m_dlgAdvance, &m_dlgRules};
    for (COptionsPage* pPage : pages) {
        pPage->SetTabCtrl(&m_tab);
        if (!pPage->Create(m_hWnd)) continue;
        // Just above the tab control in the z-order; the template gives the place.
        HWND hAbove = ::GetWindow(m_tab, GW_HWNDPREV);
        pPage->SetWindowPos(hAbove ? hAbove : HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    m_tab.SetCurSel(OPTIONS_PAGE_GENERAL);
    ShowPage(OPTIONS_PAGE_GENERAL);
    return TRUE;
}

void CDlgOptions::ShowPage(int nPage) {
    m_dlgGeneral.ShowWindow(nPage == OPTIONS_PAGE_GENERAL ? SW_SHOW : SW_HIDE);
    m_dlgRecording.ShowWindow(nPage == OPTIONS_PAGE_RECORDING ? SW_SHOW : SW_HIDE);
    m_dlgAdvance.ShowWindow(nPage == OPTIONS_PAGE_QUALITY ? SW_SHOW : SW_HIDE);
    m_dlgRules.ShowWindow(nPage == OPTIONS_PAGE_RULES ? SW_SHOW : SW_HIDE);
}

void CDlgOptions::SelectPage(int nPage) {
    m_tab.SetCurSel(nPage);
    ShowPage(m_tab.GetCurSel());
    m_tab.Invalidate();
}

LRESULT CDlgOptions::OnNotify(UINT nId, NMHDR* pHdr) {
    if (nId == IDC_OPT_TAB && pHdr && pHdr->code == TCN_SELCHANGE) {
        ShowPage(m_tab.GetCurSel());
        return 0;
    }
    return CDialog::OnNotify(nId, pHdr);
}

void CDlgOptions::OnOK() {
    // Enter in the contact box adds the contact rather than closing the options.
    HWND hContact = m_dlgRules.m_hWnd ? m_dlgRules.GetDlgItem(IDC_OPT_RULE_CONTACT) : nullptr;
    HWND hFocus = ::GetFocus();
    if (hContact && hFocus && (hFocus == hContact || ::IsChild(hContact, hFocus))) {
        m_dlgRules.AddContact();
        return;
    }
    if (m_pProfile->m_bAutoStart)
        AddRunEntry();
    else
        RemoveRunEntry();
    m_pProfile->m_bModified = true;
    m_pProfile->Save();
    CDialog::OnOK();
}

void CDlgOptions::OnCancel() {
    // Cancel means cancel: nothing clicked here stays in force or is saved at exit.
    if (m_pProfile) m_pProfile->Load();
    CDialog::OnCancel();
}
