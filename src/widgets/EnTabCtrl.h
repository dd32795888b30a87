#pragma once
// The options dialog's flat tabs: every tab in the button face, the selected
// tab's text in the window-text colour, the others' text in a halved button face.
#include "widgets/BaseTabCtrl.h"

// Each of red, green and blue halved (truncated).
COLORREF HalveColor(COLORREF cr);
// The text colour of a tab, from the two system colours it depends on.
COLORREF FlatTabTextColor(bool bSelected, COLORREF crBtnFace, COLORREF crWindowText);

class CEnTabCtrl : public CBaseTabCtrl {
public:
    COLORREF GetTabColor(bool bSelected) const override;
    COLORREF GetTabTextColor(bool bSelected) const override;

protected:
    void DrawMainBorder(HDC hDC, const RECT& rcDisplay) override;
    void DrawItem(HDC hDC, int nIndex, const RECT& rcItem, bool bSelected) override;
};
