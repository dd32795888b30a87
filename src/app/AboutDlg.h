#pragma once
// The About box: version, web site, and where the log and crash dumps lie, with
// a button that shows that folder.
#include "base/Dialog.h"

class CAboutDlg : public CDialog {
public:
    CAboutDlg();

protected:
    BOOL OnInitDialog() override;
    LRESULT OnCommand(UINT nId, UINT nCode, HWND hCtl) override;

private:
    void OpenLogFolder();

    std::wstring m_strFolder;
};
