#include "widgets/EnTabCtrl.h"

#include "base/Gdi.h"

COLORREF HalveColor(COLORREF cr) { return RGB(GetRValue(cr) / 2, GetGValue(cr) / 2, GetBValue(cr) / 2); }

COLORREF FlatTabTextColor(bool bSelected, COLORREF crBtnFace, COLORREF crWindowText) {
    return bSelected ? crWindowText : HalveColor(crBtnFace);
}

COLORREF CEnTabCtrl::GetTabColor(bool) const { return ::GetSysColor(COLOR_BTNFACE); }

COLORREF CEnTabCtrl::GetTabTextColor(bool bSelected) const {
    return FlatTabTextColor(bSelected, ::GetSysColor(COLOR_BTNFACE), ::GetSysColor(COLOR_WINDOWTEXT));
}

void CEnTabCtrl::DrawMainBorder(HDC hDC, const RECT& rcDisplay) {
    // Flat: one thin line in the shadow colour.
    FrameRectColor(hDC, rcDisplay, ::GetSysColor(COLOR_BTNSHADOW));
}

void CEnTabCtrl::DrawItem(HDC hDC, int nIndex, const RECT& rcItem, bool bSelected) {
    RECT rc = rcItem;
    FillSolidRect(hDC, rc, GetTabColor(bSelected));
    COLORREF crLine = ::GetSysColor(COLOR_BTNSHADOW);
    if (bSelected) {
        // Open at the bottom so the selected tab runs into the page below it.
        FillSolidRect(hDC, RECT{rc.left, rc.top, rc.right, rc.top + 1}, crLine);
        FillSolidRect(hDC, RECT{rc.left, rc.top, rc.left + 1, rc.bottom}, crLine);
        FillSolidRect(hDC, RECT{rc.right - 1, rc.top, rc.right, rc.bottom}, crLine);
    } else if (nIndex + 1 < GetItemCount() && nIndex + 1 != GetCurSel()) {
        // A short separator between two unselected tabs.
        FillSolidRect(hDC, RECT{rc.right - 1, rc.top + 3, rc.right, rc.bottom - 3}, crLine);
    }
    std::wstring str = GetItemText(nIndex);
    CSaveDC save(hDC);
    ::SetBkMode(hDC, TRANSPARENT);
    ::SetTextColor(hDC, GetTabTextColor(bSelected));
    ::DrawTextW(hDC, str.c_str(), (int)str.size(), &rc, DT_SINGLELINE | DT_CENTER | DT_VCENTER | DT_NOPREFIX);
}
