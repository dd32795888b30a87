// What the history tree paints, read back pixel by pixel from an off-screen bitmap.
#include <gtest/gtest.h>
#include <windows.h>

#include "base/Com.h"
#include "base/Gdi.h"
#include "history/DlgRecHistory.h"
#include "history/RecordHistory.h"
#include "historyui/TestSupport.h"
#include "skype/ContactList.h"

namespace {

const long long NOW = 1273656615;
long long FixedNow() { return NOW; }

// The tree's client area painted into a 32-bit bitmap.
class CTreePicture {
public:
    explicit CTreePicture(CTreeCtrlBT& tree) : m_dc(nullptr) {
        m_rc = tree.GetClientRect();
        m_bmp.CreateDib32(m_rc.right, m_rc.bottom, (void**)&m_pBits);
        CSelectObject sel(m_dc, m_bmp);
        tree.PaintRows(m_dc, m_rc);
        ::GdiFlush();
    }
    COLORREF At(int x, int y) const {
        DWORD px = m_pBits[y * m_rc.right + x];
        return RGB((px >> 16) & 0xFF, (px >> 8) & 0xFF, px & 0xFF);
    }
    // How many pixels of the rectangle are close to the colour.
    int Count(const RECT& rc, COLORREF cr) const {
        int n = 0;
        for (int y = rc.top; y < rc.bottom; ++y)
            for (int x = rc.left; x < rc.right; ++x) {
                COLORREF c = At(x, y);
                if (abs(GetRValue(c) - GetRValue(cr)) < 24 && abs(GetGValue(c) - GetGValue(cr)) < 24 &&
                    abs(GetBValue(c) - GetBValue(cr)) < 24)
                    ++n;
            }
        return n;
    }

private:
    CCompatibleDC m_dc;
    CBitmap m_bmp;
    DWORD* m_pBits = nullptr;
    RECT m_rc;
};

class TreePaintTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_fnOldClock = CTreeCtrlBT::SetClock(&FixedNow);
        m_strDir = ScratchFolder(L"paint");
        std::wstring strXml = m_strDir + L"\\record.xml";
        ::DeleteFileW(strXml.c_str());
        CRecordHistory::GetInstance()->Open(strXml);
        ASSERT_TRUE(m_dlg.Create(nullptr));
        m_dlg.ShowWindow(SW_SHOWNOACTIVATE);
        ::SetWindowPos(m_dlg, nullptr, 0, 0, 520, 320, SWP_NOZORDER | SWP_NOACTIVATE);
        ::UpdateWindow(m_dlg);
    }
    void TearDown() override {
        m_dlg.DestroyWindow();
        CRecordHistory::DestroyInstance();
        CContactList::DestroyInstance();
        CTreeCtrlBT::SetClock(m_fnOldClock);
    }
    HTREEITEM Add(const wchar_t* pszName, long long nAgo, bool bNew) {
        RecordEntry e;
        e.m_strName = pszName;
        e.m_strTime = std::to_wstring(NOW - nAgo);
        e.m_bNew = bNew;
        e.m_nType = 1;
        m_dlg.AddRecordItem(e);
        m_dlg.RefreshCounts();
        CTreeCtrlBT& tree = m_dlg.GetTree();
        for (HTREEITEM hDay = tree.GetChildItem(tree.GetRootItem()); hDay; hDay = tree.GetNextSiblingItem(hDay))
            for (HTREEITEM h = tree.GetChildItem(hDay); h; h = tree.GetNextSiblingItem(h))
                if (tree.GetItemData(h)->Entry()->m_strName == pszName) return h;
        return nullptr;
    }
    static RECT Spot(const RECT& rcRow, int nFromRight) {
        return RECT{rcRow.right - nFromRight, rcRow.top, rcRow.right - nFromRight + 14, rcRow.bottom};
    }

    CDlgRecHistory m_dlg;
    CComInit m_com;
    std::wstring m_strDir;
    CTreeCtrlBT::ClockFn m_fnOldClock = nullptr;
};

const COLORREF ACCENT = RGB(51, 150, 253);
const COLORREF BADGE = RGB(252, 140, 5);
const COLORREF DELETE_RED = RGB(232, 80, 74);

}  // namespace

TEST_F(TreePaintTest, RootRowIsGreyWithOrangeBadgeOnlyWhileSomethingIsNew) {
    Add(L"a", 3600, true);
    CTreeCtrlBT& tree = m_dlg.GetTree();
    RECT rcRoot = tree.GetRowRect(tree.GetRootItem());
    {
        CTreePicture pic(tree);
        EXPECT_EQ(pic.At(rcRoot.right / 2, rcRoot.top + 2), RGB(238, 238, 238));
        RECT rcBadgeEnd = {rcRoot.right - 14, rcRoot.top + 5, rcRoot.right - 4, rcRoot.bottom - 5};
        EXPECT_GT(pic.Count(rcBadgeEnd, BADGE), 60) << "badge ends 2 px before the right edge";
        RECT rcPastBadge = {rcRoot.right - 2, rcRoot.top + 5, rcRoot.right, rcRoot.bottom - 5};
        EXPECT_EQ(pic.Count(rcPastBadge, BADGE), 0);
    }
    // Played: no badge.
    Add(L"b", 7200, false);
    for (HTREEITEM hDay = tree.GetChildItem(tree.GetRootItem()); hDay; hDay = tree.GetNextSiblingItem(hDay))
        for (HTREEITEM h = tree.GetChildItem(hDay); h; h = tree.GetNextSiblingItem(h))
            tree.GetItemData(h)->Entry()->m_bNew = false;
    m_dlg.RefreshCounts();
    CTreePicture pic(tree);
    RECT rcRight = {rcRoot.right - 60, rcRoot.top, rcRoot.right, rcRoot.bottom};
    EXPECT_EQ(pic.Count(rcRight, BADGE), 0);
}

TEST_F(TreePaintTest, SelectedRowIsBlueWithBothActionIcons) {
    HTREEITEM hRow = Add(L"sel", 3600, true);
    CTreeCtrlBT& tree = m_dlg.GetTree();
    tree.SelectItem(hRow);
    RECT rcRow = tree.GetRowRect(hRow);
    CTreePicture pic(tree);
    EXPECT_EQ(pic.At(rcRow.left + 10, (rcRow.top + rcRow.bottom) / 2), RGB(255, 255, 255))
        << "the highlight starts 16 px in";
    EXPECT_EQ(pic.At(rcRow.right - 60, rcRow.top + 3), ACCENT);
    // The icons on the blue: white glyphs in both spots.
    EXPECT_GT(pic.Count(Spot(rcRow, 19), RGB(254, 254, 254)), 10);
    EXPECT_GT(pic.Count(Spot(rcRow, 39), RGB(254, 254, 254)), 10);
}

TEST_F(TreePaintTest, HoverOnAnotherRowsDeleteSpotShowsItsIconUntilThePointerLeaves) {
    HTREEITEM hSel = Add(L"sel", 3600, true);
    HTREEITEM hOther = Add(L"other", 7200, true);
    CTreeCtrlBT& tree = m_dlg.GetTree();
    tree.SelectItem(hSel);
    RECT rcRow = tree.GetRowRect(hOther);
    {
        CTreePicture pic(tree);
        EXPECT_EQ(pic.Count(Spot(rcRow, 19), DELETE_RED), 0) << "no icon before the pointer comes";
    }
    ::SendMessageW(tree, WM_MOUSEMOVE, 0, MAKELPARAM(rcRow.right - 12, (rcRow.top + rcRow.bottom) / 2));
    {
        CTreePicture pic(tree);
        EXPECT_GT(pic.Count(Spot(rcRow, 19), DELETE_RED), 10) << "delete icon for a row that is not selected";
        EXPECT_EQ(pic.Count(Spot(rcRow, 39), RGB(216, 154, 28)), 0) << "only the spot under the pointer";
    }
    ::SendMessageW(tree, WM_MOUSELEAVE, 0, 0);
    CTreePicture pic(tree);
    EXPECT_EQ(pic.Count(Spot(rcRow, 19), DELETE_RED), 0);
}

TEST_F(TreePaintTest, SeparatorLinesUnderEveryRow) {
    HTREEITEM hRow = Add(L"line", 3600, false);
    CTreeCtrlBT& tree = m_dlg.GetTree();
    tree.SelectItem(tree.GetRootItem());
    RECT rcRow = tree.GetRowRect(hRow);
    CTreePicture pic(tree);
    EXPECT_EQ(pic.At(rcRow.left + 20, rcRow.bottom - 1), RGB(235, 235, 235));
    EXPECT_EQ(pic.At(rcRow.left + 8, rcRow.bottom - 1), RGB(255, 255, 255)) << "recording rows start 16 px in";
    RECT rcDay = tree.GetRowRect(tree.GetParentItem(hRow));
    EXPECT_EQ(pic.At(rcDay.left + 2, rcDay.bottom - 1), RGB(235, 235, 235));
}

TEST_F(TreePaintTest, CallIconStandsOutOnTheSelectedRow) {
    // Add() makes incoming calls; new and played ones have icons of their own colours.
    HTREEITEM hNew = Add(L"fresh", 3600, true);
    HTREEITEM hPlayed = Add(L"heard", 7200, false);
    CTreeCtrlBT& tree = m_dlg.GetTree();
    for (HTREEITEM hRow : {hNew, hPlayed}) {
        tree.SelectItem(hRow);
        RECT rcRow = tree.GetRowRect(hRow), rcText = {};
        TreeView_GetItemRect(tree, hRow, &rcText, TRUE);
        const RECT rcIcon = LayoutRecordRow(rcRow, rcText.left).rcIcon;
        CTreePicture pic(tree);
        const int nArea = (rcIcon.right - rcIcon.left) * (rcIcon.bottom - rcIcon.top);
        // The handset is most of the icon: it must not melt into the highlight.
        EXPECT_GT(nArea - pic.Count(rcIcon, ACCENT), 40) << "row " << (hRow == hNew ? "new" : "played");
    }
}
