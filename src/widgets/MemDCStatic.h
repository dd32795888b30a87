#pragma once
// Off-screen painting for the self-drawn controls: every control draws into a
// memory bitmap of its client area, copied to the screen in one piece, so the
// level meters, which change several times a second, never flicker.
#include "base/Gdi.h"
#include "base/Window.h"

// A memory DC over a target rectangle, copied to the target when it ends.
class CMyMemDC : public CMemDC {
public:
    CMyMemDC(HDC hTarget, const RECT& rc) : CMemDC(hTarget, rc) {}
};

// Paints what the parent shows behind a child control into hDC (child client
// coordinates): the parent's static-control brush, then whatever the parent
// draws for WM_PRINTCLIENT (a skinned window paints its picture there).
void DrawParentBackground(HWND hChild, HDC hDC, const RECT& rcClient);

// A static control that paints itself through CMyMemDC.
class CMemDCStatic : public CWindow {
public:
    // Draws the control as it is now into any DC (client coordinates in rc).
    void DrawTo(HDC hDC, const RECT& rc) { Draw(hDC, rc); }

protected:
    virtual void Draw(HDC hDC, const RECT& rcClient) = 0;
    LRESULT OnPaint() override;
    LRESULT OnEraseBkgnd(HDC) override { return 1; }
    // Repaints the control and the parent's area behind it.
    void RedrawWithParent();
};
