#include "widgets/BaseTabCtrl.h"

#include "base/Gdi.h"

void CBaseTabCtrl::EnableDraw(int nType) {
    m_nDrawType = nType;
    if (m_hWnd && nType != BTC_NONE) ModifyStyle(0, TCS_OWNERDRAWFIXED);
    if (m_hWnd) Invalidate();
}

COLORREF CBaseTabCtrl::GetTabColor(bool) const {
    return m_crBack != CLR_INVALID ? m_crBack : ::GetSysColor(COLOR_BTNFACE);
}

COLORREF CBaseTabCtrl::GetTabTextColor(bool) const { return ::GetSysColor(COLOR_BTNTEXT); }

void CBaseTabCtrl::DrawMainBorder(HDC hDC, const RECT& rcDisplay) {
    ::DrawEdge(hDC, const_cast<RECT*>(&rcDisplay), EDGE_RAISED, BF_RECT);
}

void CBaseTabCtrl::DrawItem(HDC hDC, int nIndex, const RECT& rcItem, bool bSelected) {
    RECT rc = rcItem;
    FillSolidRect(hDC, rc, GetTabColor(bSelected));
    std::wstring str = GetItemText(nIndex);
    CSaveDC save(hDC);
    ::SetBkMode(hDC, TRANSPARENT);
    ::SetTextColor(hDC, GetTabTextColor(bSelected));
    ::DrawTextW(hDC, str.c_str(), (int)str.size(), &rc, DT_SINGLELINE | DT_CENTER | DT_VCENTER | DT_NOPREFIX);
}

void CBaseTabCtrl::DrawAll(HDC hDC, const RECT& rcClient) {
    CSaveDC save(hDC);
    HFONT hFont = GetFont();
    if (hFont) ::SelectObject(hDC, hFont);
    FillSolidRect(hDC, rcClient, m_crBack != CLR_INVALID ? m_crBack : ::GetSysColor(COLOR_BTNFACE));
    RECT rcDisplay = AdjustRect(false, rcClient);
    // The border sits just outside the display area, where the pages go.
    InflateRect(&rcDisplay, 2, 2);
    rcDisplay.top -= 1;
    int nSel = GetCurSel();
    for (int i = 0; i < GetItemCount(); ++i) {
        if (i == nSel) continue;  // the selected tab is drawn last, over its neighbours
        DrawItem(hDC, i, GetItemRect(i), false);
    }
    // After the other tabs, which reach down over the border's top line.
    DrawMainBorder(hDC, rcDisplay);
    if (nSel >= 0) {
        RECT rc = GetItemRect(nSel);
        InflateRect(&rc, 2, 2);
        // Down to and over the border's top line, so the tab opens into the page.
        rc.bottom = rcDisplay.top + 1;
        // The first and last tab end flush with the frame's sides.
        if (rc.left < rcDisplay.left) rc.left = rcDisplay.left;
        if (rc.right > rcDisplay.right) rc.right = rcDisplay.right;
        DrawItem(hDC, nSel, rc, true);
    }
}

bool CBaseTabCtrl::OnReflect(UINT uMsg, WPARAM, LPARAM lParam, LRESULT& lResult) {
    if (uMsg != WM_DRAWITEM || m_nDrawType == BTC_NONE) return false;
    DRAWITEMSTRUCT* pDis = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
    DrawItem(pDis->hDC, (int)pDis->itemID, pDis->rcItem, (pDis->itemState & ODS_SELECTED) != 0);
    lResult = TRUE;
    return true;
}

LRESULT CBaseTabCtrl::OnPaint() {
    if (m_nDrawType != BTC_ALL) return Default();
    CPaintDC dc(m_hWnd);
    RECT rc = GetClientRect();
    CMemDC mem(dc, rc);
    if (mem.IsValid()) DrawAll(mem, rc);
    return 0;
}

LRESULT CBaseTabCtrl::OnEraseBkgnd(HDC hDC) {
    if (m_nDrawType == BTC_ALL) return 1;  // all of it is painted in OnPaint
    return CTabCtrl::OnEraseBkgnd(hDC);
}
