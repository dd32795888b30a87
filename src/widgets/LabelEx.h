#pragma once
// Label with an optional 16x16 icon, a hover effect that makes it look like a
// link, a pressed flag toggled by clicks and an optional frame.
#include "base/Controls.h"
#include "widgets/MemDCStatic.h"

inline constexpr COLORREF LABEL_COLOR_DISABLED = RGB(189, 189, 189);
inline constexpr COLORREF LABEL_COLOR_HOVER = RGB(0, 0, 255);
inline constexpr UINT IDC_LABEL_HAND = 139;  // the program's pointing-hand cursor

// The colour the text is drawn in: grey when disabled whatever the text colour.
COLORREF LabelTextColor(bool bEnabled, COLORREF crText);
// Where the text starts: after the icon (20 pixels) or 4 pixels in, plus the frame.
int LabelTextLeft(bool bHasIcons, bool bFrame);

class CLabelEx : public CMemDCStatic {
public:
    CLabelEx();
    ~CLabelEx() override;

    void SetTextColor(COLORREF cr);
    COLORREF GetTextColor() const { return m_crText; }
    // A strip of 16x16 icons (at 96 DPI) from a BITMAP resource; crMask is its transparent colour.
    bool SetIconList(UINT nIdBitmap, COLORREF crMask);
    // The strip last given by id again, at the window's current DPI.
    bool ReloadIconList();
    // The same from a bitmap already loaded (the list keeps its own copy).
    bool SetIconList(HBITMAP hStrip, COLORREF crMask);
    bool HasIconList() const { return m_icons.Get() != nullptr; }
    void SetIconIndex(int nIndex);
    int GetIconIndex() const { return m_nIconIndex; }
    // Off also ends a hover in progress: the label stops looking clickable at once.
    void SetHoverTracking(bool bOn);
    void SetHoverColorChange(bool bOn) { m_bHoverColor = bOn; }
    void SetHoverUnderline(bool bOn) { m_bHoverUnderline = bOn; }
    void SetFrame(bool bOn);
    bool IsPressed() const { return m_bPressed; }
    bool IsHovered() const { return m_bHover; }
    bool IsUnderlined() const { return m_bUnderline; }

protected:
    void PreSubclassWindow() override;
    void Draw(HDC hDC, const RECT& rcClient) override;
    LRESULT OnMouseMove(UINT nFlags, POINT pt) override;
    LRESULT OnMouseLeave() override;
    LRESULT OnLButtonDown(UINT nFlags, POINT pt) override;
    LRESULT OnSetCursor(HWND hWnd, UINT nHitTest, UINT uMouseMsg) override;
    LRESULT OnCaptureChanged(HWND hNew) override;
    LRESULT OnEnable(bool bEnable) override;
    LRESULT OnMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

private:
    void EnterHover();
    void LeaveHover();

    COLORREF m_crText = RGB(0, 0, 0);
    COLORREF m_crSaved = RGB(0, 0, 0);  // the text colour before hovering
    CImageList m_icons;
    UINT m_nIconId = 0;
    COLORREF m_crIconMask = 0;
    int m_nIconIndex = 0;
    bool m_bHoverTracking = true;
    bool m_bHoverColor = true;
    bool m_bHoverUnderline = false;
    bool m_bHover = false;
    bool m_bUnderline = false;
    bool m_bPressed = false;
    bool m_bFrame = false;
    bool m_bLeaving = false;
    HCURSOR m_hHand = nullptr;
};
