#include "base/Dialog.h"

CDialog::~CDialog() {
    if (m_bOwned && IsWindow()) ::DestroyWindow(m_hWnd);
}

INT_PTR CDialog::DoModal(HWND hParent) {
    if (m_hWnd) return -1;
    RegisterFrameworkClasses();
    m_bModal = true;
    INT_PTR nResult = ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_nIdTemplate), hParent,
                                        DialogProc, reinterpret_cast<LPARAM>(this));
    m_bModal = false;
    return nResult;
}

bool CDialog::Create(HWND hParent) {
    if (m_hWnd) return false;
    RegisterFrameworkClasses();
    m_bModal = false;
    HWND hWnd = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_nIdTemplate), hParent,
                                     DialogProc, reinterpret_cast<LPARAM>(this));
    if (!hWnd) return false;
    m_bOwned = true;
    return true;
}

bool CDialog::EndDialog(INT_PTR nResult) { return m_hWnd && ::EndDialog(m_hWnd, nResult) != FALSE; }

void CDialog::UpdateData(bool bSave) {
    if (m_hWnd) DoDataExchange(bSave);
}

BOOL CDialog::OnInitDialog() { return TRUE; }
void CDialog::OnOK() { EndDialog(IDOK); }
void CDialog::OnCancel() { EndDialog(IDCANCEL); }
void CDialog::DoDataExchange(bool) {}

LRESULT CDialog::Default() {
    if (m_pCurrentMsg) m_pCurrentMsg->bDefault = true;
    return 0;
}

LRESULT CDialog::OnCommand(UINT nId, UINT nCode, HWND) {
    if (nCode == BN_CLICKED && nId == IDOK) {
        OnOK();
        return 0;
    }
    if (nCode == BN_CLICKED && nId == IDCANCEL) {
        OnCancel();
        return 0;
    }
    return Default();
}

LRESULT CDialog::WindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_INITDIALOG) return OnInitDialog();
    return CWindow::WindowProc(uMsg, wParam, lParam);
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    CDialog* pDlg = nullptr;
    if (uMsg == WM_INITDIALOG) {
        pDlg = reinterpret_cast<CDialog*>(lParam);
        pDlg->m_hWnd = hWnd;
        ::SetWindowLongPtrW(hWnd, DWLP_USER, lParam);
        ::SetPropW(hWnd, WND_PROP_OBJECT, pDlg);
    } else {
        pDlg = reinterpret_cast<CDialog*>(::GetWindowLongPtrW(hWnd, DWLP_USER));
    }
    // Messages before WM_INITDIALOG (WM_SETFONT...) stay with the dialog manager.
    if (!pDlg) return FALSE;

    bool bDefault = false;
    LRESULT lResult = pDlg->Dispatch(uMsg, wParam, lParam, &bDefault);
    if (uMsg == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hWnd, DWLP_USER, 0);
        ::RemovePropW(hWnd, WND_PROP_OBJECT);
        pDlg->m_hWnd = nullptr;
        pDlg->m_bOwned = false;
        pDlg->OnFinalMessage();  // may delete the object
        return FALSE;
    }
    if (bDefault) return FALSE;
    switch (uMsg) {
    // These return their value directly instead of through DWLP_MSGRESULT.
    case WM_INITDIALOG:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
        return (INT_PTR)lResult;
    default:
        ::SetWindowLongPtrW(hWnd, DWLP_MSGRESULT, lResult);
        return TRUE;
    }
}

std::wstring GetDlgItemText(HWND hDlg, UINT nId) {
    HWND hItem = ::GetDlgItem(hDlg, (int)nId);
    int n = ::GetWindowTextLengthW(hItem);
    std::wstring str(n + 1, L'\0');
    n = ::GetWindowTextW(hItem, str.data(), n + 1);
    str.resize(n > 0 ? n : 0);
    return str;
}

bool IsButtonChecked(HWND hDlg, UINT nId) { return ::IsDlgButtonChecked(hDlg, (int)nId) == BST_CHECKED; }

void SetButtonCheck(HWND hDlg, UINT nId, bool bChecked) {
    ::CheckDlgButton(hDlg, (int)nId, bChecked ? BST_CHECKED : BST_UNCHECKED);
}

void DDX_Check(HWND hDlg, bool bSave, UINT nId, bool& bValue) {
    if (bSave)
        bValue = IsButtonChecked(hDlg, nId);
    else
        SetButtonCheck(hDlg, nId, bValue);
}

void DDX_Radio(HWND hDlg, bool bSave, std::initializer_list<UINT> ids, int& nValue) {
    if (bSave) {
        nValue = -1;
        int i = 0;
        for (UINT nId : ids) {
            if (IsButtonChecked(hDlg, nId)) {
                nValue = i;
                break;
            }
            ++i;
        }
        return;
    }
    int i = 0;
    for (UINT nId : ids) SetButtonCheck(hDlg, nId, i++ == nValue);
}

void DDX_Text(HWND hDlg, bool bSave, UINT nId, std::wstring& strValue) {
    if (bSave)
        strValue = GetDlgItemText(hDlg, nId);
    else
        ::SetDlgItemTextW(hDlg, (int)nId, strValue.c_str());
}

void DDX_CBIndex(HWND hDlg, bool bSave, UINT nId, int& nValue) {
    if (bSave)
        nValue = (int)::SendDlgItemMessageW(hDlg, (int)nId, CB_GETCURSEL, 0, 0);
    else
        ::SendDlgItemMessageW(hDlg, (int)nId, CB_SETCURSEL, (WPARAM)nValue, 0);
}
