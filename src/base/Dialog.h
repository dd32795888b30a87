#pragma once
// CDialog: a dialog from a resource template, modal (DoModal) or modeless (Create).
//
//   class CDlgAbout : public CDialog {
//   public:
//       CDlgAbout() : CDialog(IDD_ABOUTBOX) {}
//   protected:
//       BOOL OnInitDialog() override {
//           m_link.SubclassDlgItem(IDC_LINK, m_hWnd);   // our control on a template item
//           return TRUE;                                  // focus to the first control
//       }
//       LRESULT OnCommand(UINT nId, UINT nCode, HWND hCtl) override {
//           if (nId == IDC_LINK) { OpenPage(); return 0; }
//           return CDialog::OnCommand(nId, nCode, hCtl);  // IDOK/IDCANCEL end the dialog
//       }
//       CLabelEx m_link;
//   };
//   CDlgAbout dlg; dlg.DoModal(hParent);
//
// Default() in a dialog means "not handled": the dialog manager then does its
// usual work (DefDlgProc). A handler that answers returns its result, which is
// handed back the way dialogs must (DWLP_MSGRESULT, or directly for WM_CTLCOLOR*
// and the few others that return their value).
#include <initializer_list>
#include <string>

#include "base/Window.h"

class CDialog : public CWindow {
public:
    explicit CDialog(UINT nIdTemplate) : m_nIdTemplate(nIdTemplate) {}
    // A modeless dialog still open is destroyed here, as a plain dialog: the
    // derived class is gone by then, so call DestroyWindow first to see OnDestroy.
    ~CDialog() override;

    // Runs the dialog modally; returns EndDialog's result, or -1 when the template
    // cannot be loaded.
    INT_PTR DoModal(HWND hParent);
    // Creates the dialog modeless (child pages too: a WS_CHILD template); the
    // object owns the window and destroys it with itself.
    bool Create(HWND hParent);
    bool EndDialog(INT_PTR nResult);
    UINT GetTemplateId() const { return m_nIdTemplate; }
    bool IsModal() const { return m_bModal; }

    // Moves the dialog-data variables into the controls (bSave false) or the
    // controls' state into the variables (bSave true) through DoDataExchange.
    void UpdateData(bool bSave);

protected:
    // Return TRUE to let the dialog manager focus the first tab stop.
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    virtual void DoDataExchange(bool bSave);

    LRESULT WindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
    LRESULT Default() override;
    // IDOK and IDCANCEL go to OnOK and OnCancel; every other command is not handled.
    LRESULT OnCommand(UINT nId, UINT nCode, HWND hCtl) override;

    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

    UINT m_nIdTemplate;
    bool m_bModal = false;
};

// Data exchange between one control and one dialog-data variable: bSave true
// reads the control into the variable, false writes the variable into the control.
void DDX_Check(HWND hDlg, bool bSave, UINT nId, bool& bValue);
// A radio group given by its ids in order; the value is the position of the
// checked radio, -1 when none is. Writing a position outside the group unchecks all.
void DDX_Radio(HWND hDlg, bool bSave, std::initializer_list<UINT> ids, int& nValue);
void DDX_Text(HWND hDlg, bool bSave, UINT nId, std::wstring& strValue);
// The selected index of a combo box, -1 for none.
void DDX_CBIndex(HWND hDlg, bool bSave, UINT nId, int& nValue);

// Single-control helpers.
std::wstring GetDlgItemText(HWND hDlg, UINT nId);
bool IsButtonChecked(HWND hDlg, UINT nId);
void SetButtonCheck(HWND hDlg, UINT nId, bool bChecked);
