#pragma once
// Tab control that draws its tabs and its background itself.
#include "base/Controls.h"

inline constexpr int BTC_NONE = 0;
inline constexpr int BTC_TABS = 1;  // the tabs (TCS_OWNERDRAWFIXED)
inline constexpr int BTC_ALL = 2;   // the tabs, the background and the border

class CBaseTabCtrl : public CTabCtrl {
public:
    // Switches the control's own drawing on; BTC_TABS and BTC_ALL add TCS_OWNERDRAWFIXED.
    void EnableDraw(int nType = BTC_ALL);
    int GetDrawType() const { return m_nDrawType; }
    void SetBkgndColor(COLORREF cr) { m_crBack = cr; }
    // Draws the whole control (background, border, tabs) into any DC.
    void DrawAll(HDC hDC, const RECT& rcClient);

    virtual COLORREF GetTabColor(bool bSelected) const;
    virtual COLORREF GetTabTextColor(bool bSelected) const;

protected:
    virtual void DrawMainBorder(HDC hDC, const RECT& rcDisplay);
    virtual void DrawItem(HDC hDC, int nIndex, const RECT& rcItem, bool bSelected);

    bool OnReflect(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;
    LRESULT OnPaint() override;
    LRESULT OnEraseBkgnd(HDC hDC) override;

    int m_nDrawType = BTC_NONE;
    COLORREF m_crBack = CLR_INVALID;  // CLR_INVALID: the system button face
};
