// The window and dialog framework against real Wine windows and dialogs.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "base/Controls.h"
#include "base/Dialog.h"
#include "base/Gdi.h"

namespace {

constexpr UINT IDD_TEST = 9001, IDD_TESTPAGE = 9002;

// A control that counts what reaches it and draws itself when reflected.
class CCountingButton : public CButton {
public:
    int m_nMouseMoves = 0;
    int m_nReflectedDraws = 0;
    bool m_bEatClick = false;
    int m_nReflectedClicks = 0;

protected:
    LRESULT OnMouseMove(UINT nFlags, POINT pt) override {
        ++m_nMouseMoves;
        return CButton::OnMouseMove(nFlags, pt);
    }
    bool OnReflect(UINT uMsg, WPARAM wParam, LPARAM, LRESULT& lResult) override {
        if (uMsg == WM_DRAWITEM) {
            ++m_nReflectedDraws;
            lResult = TRUE;
            return true;
        }
        if (uMsg == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
            ++m_nReflectedClicks;
            lResult = 0;
            return m_bEatClick;
        }
        return false;
    }
};

class CTestDlg : public CDialog {
public:
    CTestDlg() : CDialog(IDD_TEST) {}
    std::function<void(CTestDlg&)> m_fnInit;
    std::vector<UINT> m_commands;
    int m_nOk = 0;
    bool m_bChecked = false;
    int m_nRadio = 0;
    std::wstring m_strText;
    int m_nCombo = -1;
    CCountingButton m_button;
    bool m_bFinal = false;

protected:
    BOOL OnInitDialog() override {
        m_button.SubclassDlgItem(106, m_hWnd);
        if (m_fnInit) m_fnInit(*this);
        return TRUE;
    }
    LRESULT OnCommand(UINT nId, UINT nCode, HWND hCtl) override {
        m_commands.push_back(nId);
        return CDialog::OnCommand(nId, nCode, hCtl);
    }
    void OnOK() override {
        ++m_nOk;
        CDialog::OnOK();
    }
    void DoDataExchange(bool bSave) override {
        DDX_Check(m_hWnd, bSave, 101, m_bChecked);
        DDX_Radio(m_hWnd, bSave, {102, 103, 104}, m_nRadio);
        DDX_Text(m_hWnd, bSave, 105, m_strText);
        DDX_CBIndex(m_hWnd, bSave, 108, m_nCombo);
    }
    void OnFinalMessage() override { m_bFinal = true; }
};

}  // namespace

TEST(Dialog, ModalRunsInitAndReturnsEndDialogResult) {
    CTestDlg dlg;
    HWND hSeen = nullptr;
    dlg.m_fnInit = [&](CTestDlg& d) {
        hSeen = d.m_hWnd;
        EXPECT_EQ(CWindow::FromHandle(d.m_hWnd), &d);
        d.EndDialog(42);
    };
    EXPECT_EQ(dlg.DoModal(nullptr), 42);
    EXPECT_NE(hSeen, nullptr);
    EXPECT_EQ(dlg.m_hWnd, nullptr);
    EXPECT_TRUE(dlg.m_bFinal);
    EXPECT_FALSE(::IsWindow(hSeen));
}

TEST(Dialog, EscapeAndEnterEndTheModalDialog) {
    for (UINT nId : {IDCANCEL, IDOK}) {
        CTestDlg dlg;
        dlg.m_fnInit = [&](CTestDlg& d) { d.PostMessage(WM_COMMAND, MAKEWPARAM(nId, BN_CLICKED), 0); };
        EXPECT_EQ(dlg.DoModal(nullptr), (INT_PTR)nId);
        EXPECT_EQ(dlg.m_nOk, nId == IDOK ? 1 : 0);
    }
}

TEST(Dialog, MissingTemplateFailsInsteadOfHanging) {
    CDialog dlg(4242);
    EXPECT_EQ(dlg.DoModal(nullptr), -1);
    EXPECT_FALSE(dlg.Create(nullptr));
}

TEST(Dialog, DataExchangeMovesVariablesAndControlsBothWays) {
    CTestDlg dlg;
    ASSERT_TRUE(dlg.Create(nullptr));
    ::SendDlgItemMessageW(dlg, 108, CB_ADDSTRING, 0, (LPARAM)L"one");
    ::SendDlgItemMessageW(dlg, 108, CB_ADDSTRING, 0, (LPARAM)L"two");
    dlg.m_bChecked = true;
    dlg.m_nRadio = 2;
    dlg.m_strText = L"C:\\Users\\Zo\u00eb\\Ombra";
    dlg.m_nCombo = 1;
    dlg.UpdateData(false);
    EXPECT_TRUE(IsButtonChecked(dlg, 101));
    EXPECT_FALSE(IsButtonChecked(dlg, 102));
    EXPECT_TRUE(IsButtonChecked(dlg, 104));
    EXPECT_EQ(GetDlgItemText(dlg, 105), L"C:\\Users\\Zo\u00eb\\Ombra");

    // The user clicks: the radio group and check box change, read back into the variables.
    ::SendMessageW(dlg.GetDlgItem(103), BM_CLICK, 0, 0);
    ::SendMessageW(dlg.GetDlgItem(101), BM_CLICK, 0, 0);
    ::SendDlgItemMessageW(dlg, 108, CB_SETCURSEL, 0, 0);
    dlg.UpdateData(true);
    EXPECT_FALSE(dlg.m_bChecked);
    EXPECT_EQ(dlg.m_nRadio, 1);
    EXPECT_EQ(dlg.m_nCombo, 0);

    // A position outside the group checks nothing, and reads back as -1.
    dlg.m_nRadio = 9;
    dlg.UpdateData(false);
    dlg.UpdateData(true);
    EXPECT_EQ(dlg.m_nRadio, -1);
}

TEST(Dialog, ChildNotificationsAreOfferedToTheControlFirst) {
    CTestDlg dlg;
    ASSERT_TRUE(dlg.Create(nullptr));
    dlg.ShowWindow(SW_SHOW);
    ASSERT_EQ(CWindow::FromHandle(dlg.GetDlgItem(106)), &dlg.m_button);

    // The owner-drawn button draws itself: WM_DRAWITEM goes to its object.
    dlg.m_button.Invalidate();
    dlg.m_button.UpdateWindow();
    EXPECT_GE(dlg.m_button.m_nReflectedDraws, 1);

    // A click the control does not eat reaches the dialog's OnCommand as well.
    dlg.m_button.Click();
    EXPECT_EQ(dlg.m_button.m_nReflectedClicks, 1);
    ASSERT_EQ(dlg.m_commands.size(), 1u);
    EXPECT_EQ(dlg.m_commands[0], 106u);
    dlg.m_button.m_bEatClick = true;
    dlg.m_button.Click();
    EXPECT_EQ(dlg.m_button.m_nReflectedClicks, 2);
    EXPECT_EQ(dlg.m_commands.size(), 1u);

    // Messages to the subclassed control reach its handlers.
    dlg.m_button.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(3, 3));
    EXPECT_EQ(dlg.m_button.m_nMouseMoves, 1);
}

TEST(Dialog, ModelessChildPageIsDestroyedWithItsObject) {
    CTestDlg dlg;
    ASSERT_TRUE(dlg.Create(nullptr));
    HWND hPage = nullptr;
    {
        CDialog page(IDD_TESTPAGE);
        ASSERT_TRUE(page.Create(dlg));
        hPage = page;
        EXPECT_EQ(::GetParent(hPage), dlg.m_hWnd);
        EXPECT_TRUE(::GetWindowLongPtrW(hPage, GWL_STYLE) & WS_CHILD);
        EXPECT_NE(::GetDlgItem(hPage, 201), nullptr);
    }
    EXPECT_FALSE(::IsWindow(hPage));
}

TEST(Window, SubclassedControlOutlivedByItsWindowKeepsWorking) {
    CTestDlg dlg;
    ASSERT_TRUE(dlg.Create(nullptr));
    HWND hEdit = dlg.GetDlgItem(105);
    {
        CWindow edit;
        ASSERT_TRUE(edit.SubclassWindow(hEdit));
        EXPECT_FALSE(CWindow().SubclassWindow(nullptr));
        CWindow other;
        EXPECT_FALSE(other.SubclassWindow(hEdit));  // one object per window
    }
    // The object is gone; the edit still works as an edit.
    EXPECT_EQ(CWindow::FromHandle(hEdit), nullptr);
    ::SetWindowTextW(hEdit, L"still here");
    EXPECT_EQ(GetDlgItemText(dlg, 105), L"still here");
}

TEST(Window, OwnWindowRoutesTimersAndIsDestroyedWithItsObject) {
    struct CTimerWnd : CWindow {
        int m_nTicks = 0;
        LRESULT OnTimer(UINT_PTR nId) override {
            if (nId == 7 && ++m_nTicks == 2) KillTimer(7);
            return 0;
        }
    };
    HWND hWnd = nullptr;
    {
        CTimerWnd wnd;
        ASSERT_TRUE(wnd.CreateEx(0, nullptr, L"timer", WS_OVERLAPPED, RECT{0, 0, 100, 100}, nullptr));
        hWnd = wnd;
        wnd.SetTimer(7, 10);
        DWORD dwStart = ::GetTickCount();
        MSG msg;
        while (wnd.m_nTicks < 2 && ::GetTickCount() - dwStart < 3000) {
            if (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
                ::DispatchMessageW(&msg);
            else
                ::Sleep(1);
        }
        EXPECT_EQ(wnd.m_nTicks, 2);
        EXPECT_EQ(wnd.GetWindowText(), L"timer");
    }
    EXPECT_FALSE(::IsWindow(hWnd));
}

TEST(Gdi, MemDcCopiesItsPictureToTheTargetInOnePiece) {
    CBitmap target;
    DWORD* pBits = nullptr;
    ASSERT_TRUE(target.CreateDib32(40, 20, reinterpret_cast<void**>(&pBits)));
    CCompatibleDC dc;
    CSelectObject sel(dc, target);
    FillSolidRect(dc, RECT{0, 0, 40, 20}, RGB(255, 255, 255));
    {
        CMemDC mem(dc, RECT{10, 5, 30, 15});
        ASSERT_TRUE(mem.IsValid());
        // Drawn in the target's coordinates.
        FillSolidRect(mem, RECT{10, 5, 30, 15}, RGB(0, 200, 0));
        FrameRectColor(mem, RECT{10, 5, 30, 15}, RGB(50, 90, 135));
        EXPECT_EQ(::GetPixel(dc, 20, 10), RGB(255, 255, 255));  // nothing yet on the target
    }
    EXPECT_EQ(::GetPixel(dc, 20, 10), RGB(0, 200, 0));
    EXPECT_EQ(::GetPixel(dc, 10, 5), RGB(50, 90, 135));
    EXPECT_EQ(::GetPixel(dc, 29, 14), RGB(50, 90, 135));
    EXPECT_EQ(::GetPixel(dc, 9, 5), RGB(255, 255, 255));
    EXPECT_EQ(::GetPixel(dc, 30, 15), RGB(255, 255, 255));
    {
        CMemDC mem(dc, RECT{0, 0, 40, 20});
        FillSolidRect(mem, RECT{0, 0, 40, 20}, RGB(1, 2, 3));
        mem.Discard();
    }
    EXPECT_EQ(::GetPixel(dc, 20, 10), RGB(0, 200, 0));
    CMemDC empty(dc, RECT{5, 5, 5, 9});
    EXPECT_FALSE(empty.IsValid());
}
