#pragma once
// Owner-drawn flat bitmap button: up to four bitmap slots, each with its own
// transparent colour, a hover image, a tooltip, and grey when disabled.
#include <array>
#include <string>

#include "base/Controls.h"
#include "base/Gdi.h"

inline constexpr int BTNST_SLOTS = 4;

// Which slot is drawn: nSlots is how many leading slots are set (at least 1).
// Slot 3 is stored but never chosen.
int ChooseButtonSlot(bool bPressed, bool bHover, int nSlots);
// The grey a pixel becomes on a disabled button: its luminance.
COLORREF GreyOf(COLORREF cr);

class CMyButtonST : public CButton {
public:
    CMyButtonST() = default;
    ~CMyButtonST() override;

    // Slot 0 (shown while hovered) must be given; 0 ends the list. Earlier
    // bitmaps are released first; the button repaints. False when slot 0 or a
    // given resource cannot be loaded.
    bool SetBitmaps(UINT nIdIn, COLORREF crIn, UINT nIdOut = 0, COLORREF crOut = 0, UINT nIdPressed = 0,
                    COLORREF crPressed = 0, UINT nIdSlot3 = 0);
    // The same with bitmaps already made; the button takes them over.
    bool SetBitmaps(HBITMAP hIn, COLORREF crIn, HBITMAP hOut = nullptr, COLORREF crOut = 0,
                    HBITMAP hPressed = nullptr, COLORREF crPressed = 0, HBITMAP hSlot3 = nullptr);
    int GetSlotCount() const { return m_nSlots; }
    // Loads the resources last given by id again at the window's current DPI.
    bool ReloadBitmaps();
    // Creates the tooltip on first use, one tool over the whole button, and activates it.
    // The text is also the window text: the name screen readers give the button.
    void SetTooltipText(const std::wstring& strText);
    std::wstring GetTooltipText() const;
    void SetGrayWhenDisabled(bool bOn) { m_bGrayDisabled = bOn; }
    bool IsHovered() const { return m_bHover; }

    // Draws the button in the given state into any DC.
    void DrawButton(HDC hDC, const RECT& rc, bool bPressed, bool bDisabled);

protected:
    void PreSubclassWindow() override;
    bool OnReflect(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;
    LRESULT OnMouseMove(UINT nFlags, POINT pt) override;
    LRESULT OnMouseLeave() override;
    LRESULT OnLButtonDblClk(UINT nFlags, POINT pt) override;
    LRESULT OnKillFocus(HWND hNew) override;
    LRESULT OnTimer(UINT_PTR nId) override;
    LRESULT OnEraseBkgnd(HDC) override { return 1; }
    LRESULT OnEnable(bool bEnable) override;
    LRESULT OnMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

private:
    struct Slot {
        CBitmap bmp;
        COLORREF crTrans = RGB(0, 0, 0);
    };
    bool IsOwnWindowActive() const;
    void SetHover(bool bHover);
    void DrawSlot(HDC hDC, const RECT& rc, const Slot& slot, bool bGrey);
    bool ShowsFocusRect(UINT nItemState);

    std::array<Slot, BTNST_SLOTS> m_slots;
    std::array<UINT, BTNST_SLOTS> m_ids{};  // the resources of the slots, when given by id
    std::array<COLORREF, BTNST_SLOTS> m_idColors{};
    int m_nSlots = 0;
    CToolTipCtrl m_tooltip;
    bool m_bHover = false;
    bool m_bGrayDisabled = true;
};
