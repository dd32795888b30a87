#include "app/AboutDlg.h"

#include <shellapi.h>
#include <shlwapi.h>

#include "app/AppFolders.h"
#include "base/Log.h"
#include "resource.h"

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUTBOX) {}

BOOL CAboutDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    m_strFolder = LogFolder();
    if (m_strFolder.empty()) m_strFolder = GetLogFolder();
    ::SetDlgItemTextW(m_hWnd, IDC_ABOUT_LOG, m_strFolder.c_str());
    if (m_strFolder.empty()) ::EnableWindow(::GetDlgItem(m_hWnd, IDC_ABOUT_OPENLOG), FALSE);
    return TRUE;
}

LRESULT CAboutDlg::OnCommand(UINT nId, UINT nCode, HWND hCtl) {
    if (nId == IDC_ABOUT_OPENLOG && nCode == BN_CLICKED) {
        OpenLogFolder();
        return 0;
    }
    return CDialog::OnCommand(nId, nCode, hCtl);
}

void CAboutDlg::OpenLogFolder() {
    // Explorer opens the folder with the current log selected, so the user sees what to send.
    std::wstring strLog = LogFilePath(m_strFolder);
    if (::PathFileExistsW(strLog.c_str())) {
        std::wstring strArgs = L"/select,\"" + strLog + L"\"";
        ::ShellExecuteW(m_hWnd, L"open", L"explorer.exe", strArgs.c_str(), nullptr, SW_SHOWNORMAL);
    } else {
        ::ShellExecuteW(m_hWnd, L"open", m_strFolder.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    }
}
