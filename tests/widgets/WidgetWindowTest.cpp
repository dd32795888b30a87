// The widgets as real controls in a real dialog under Wine, painted into
// memory bitmaps whose pixels are checked.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <vector>

#include "base/Dialog.h"
#include "base/Gdi.h"
#include "widgets/EnTabCtrl.h"
#include "widgets/KCBusyProgressCtrl.h"
#include "widgets/LabelEx.h"
#include "widgets/MyButtonST.h"

namespace {

constexpr UINT IDD_TEST = 9001;

class CHostDlg : public CDialog {
public:
    CHostDlg() : CDialog(IDD_TEST) {}
    std::vector<std::pair<UINT, UINT>> m_commands;  // id, code

protected:
    LRESULT OnCommand(UINT nId, UINT nCode, HWND hCtl) override {
        m_commands.push_back({nId, nCode});
        return CDialog::OnCommand(nId, nCode, hCtl);
    }
};

// A 32-bit picture to paint into and read back.
class CCanvas {
public:
    CCanvas(int cx, int cy) : m_cx(cx), m_cy(cy) {
        m_bmp.CreateDib32(cx, cy, reinterpret_cast<void**>(&m_pBits));
        m_pSel = new CSelectObject(m_dc, m_bmp);
        FillSolidRect(m_dc, RECT{0, 0, cx, cy}, RGB(1, 2, 3));
    }
    ~CCanvas() { delete m_pSel; }
    HDC Dc() const { return m_dc; }
    COLORREF At(int x, int y) const {
        ::GdiFlush();
        DWORD px = m_pBits[(size_t)y * m_cx + x];
        return RGB((px >> 16) & 0xFF, (px >> 8) & 0xFF, px & 0xFF);
    }
    int Count(const RECT& rc, COLORREF cr) const {
        int n = 0;
        for (int y = rc.top; y < rc.bottom; ++y)
            for (int x = rc.left; x < rc.right; ++x) n += At(x, y) == cr;
        return n;
    }
    int Count(COLORREF cr) const { return Count(RECT{0, 0, m_cx, m_cy}, cr); }

private:
    int m_cx, m_cy;
    DWORD* m_pBits = nullptr;
    CBitmap m_bmp;
    CCompatibleDC m_dc;
    CSelectObject* m_pSel = nullptr;
};

// A bitmap of one colour with a one-pixel frame of the transparent colour.
HBITMAP MakeFramedBitmap(int cx, int cy, COLORREF crFill, COLORREF crFrame) {
    CBitmap bmp;
    bmp.CreateDib32(cx, cy);
    CCompatibleDC dc;
    CSelectObject sel(dc, bmp);
    FillSolidRect(dc, RECT{0, 0, cx, cy}, crFrame);
    FillSolidRect(dc, RECT{1, 1, cx - 1, cy - 1}, crFill);
    return bmp.Release();
}

}  // namespace

TEST(LevelMeter, PaintsLitUnlitAndPartialBlocksInTheirColours) {
    CHostDlg dlg;
    ASSERT_TRUE(dlg.Create(nullptr));
    CKCBusyProgressCtrl meter;
    ASSERT_TRUE(meter.CreateEx(0, WC_STATICW, L"", WS_CHILD | WS_VISIBLE, RECT{5, 5, 224, 15}, dlg, 1005));
    EXPECT_EQ(meter.GetNumSteps(), 10);
    EXPECT_EQ(meter.GetMode(), BPC_MODE_BUSY);
    meter.SetNumSteps(20);
    meter.SetRange(0, 512);
    meter.SetMode(BPC_MODE_PROGRESS);
    meter.End();
    meter.SetPos(140);

    CCanvas canvas(219, 10);
    meter.DrawTo(canvas.Dc(), RECT{0, 0, 219, 10});
    const COLORREF crLit = RGB(0, 200, 0), crFace = RGB(160, 190, 220), crEdge = RGB(50, 90, 135);
    // Five lit blocks, border and fill alike.
    EXPECT_EQ(canvas.At(0, 0), crLit);
    EXPECT_EQ(canvas.At(4, 5), crLit);
    EXPECT_EQ(canvas.At(45, 5), crLit);
    // The gap between blocks shows the button face.
    EXPECT_EQ(canvas.At(9, 5), ::GetSysColor(COLOR_BTNFACE));
    // Block 5 (x 54..63): unlit with a lit fill of 4 pixels from 1 pixel in.
    EXPECT_EQ(canvas.At(54, 5), crEdge);
    EXPECT_EQ(canvas.At(55, 5), crLit);
    EXPECT_EQ(canvas.At(58, 5), crLit);
    EXPECT_EQ(canvas.At(59, 5), crFace);
    EXPECT_EQ(canvas.At(55, 0), crEdge);
    // The rest unlit.
    EXPECT_EQ(canvas.At(150, 5), crFace);
    EXPECT_EQ(canvas.At(150, 0), crEdge);
    EXPECT_EQ(canvas.Count(RECT{64, 1, 219, 9}, crLit), 0);

    // Beyond the range every block is lit and the background stays untouched past the last.
    meter.SetPos(600);
    meter.DrawTo(canvas.Dc(), RECT{0, 0, 219, 10});
    EXPECT_EQ(canvas.Count(crFace), 0);
    EXPECT_EQ(canvas.At(215, 5), crLit);
    meter.SetPos(0);
    meter.DrawTo(canvas.Dc(), RECT{0, 0, 219, 10});
    EXPECT_EQ(canvas.Count(crLit), 0);

    // A real paint message goes through the off-screen bitmap without trouble.
    meter.Invalidate(true);
    EXPECT_TRUE(meter.UpdateWindow());
}

TEST(Label, AttachingAddsNotifyAndTheParentsFont) {
    CHostDlg dlg;
    ASSERT_TRUE(dlg.Create(nullptr));
    ASSERT_EQ(::GetWindowLongPtrW(dlg.GetDlgItem(107), GWL_STYLE) & SS_NOTIFY, 0);
    CLabelEx label;
    ASSERT_TRUE(label.SubclassDlgItem(107, dlg));
    EXPECT_NE(label.GetStyle() & SS_NOTIFY, 0u);
    EXPECT_EQ(label.GetFont(), dlg.GetFont());
    EXPECT_EQ(label.GetTextColor(), RGB(0, 0, 0));
}

TEST(Label, HoverTurnsBlueCapturesAndRestoresOnLeaving) {
    CHostDlg dlg;
    ASSERT_TRUE(dlg.Create(nullptr));
    CLabelEx label;
    ASSERT_TRUE(label.SubclassDlgItem(107, dlg));
    label.SetTextColor(RGB(226, 0, 0));
    label.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(3, 3));
    EXPECT_TRUE(label.IsHovered());
    EXPECT_EQ(label.GetTextColor(), RGB(0, 0, 255));
    EXPECT_EQ(::GetCapture(), label.m_hWnd);
    EXPECT_FALSE(label.IsUnderlined());  // underline is off by default

    // Outside the client area: back to red, capture released.
    label.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(500, 3));
    EXPECT_FALSE(label.IsHovered());
    EXPECT_EQ(label.GetTextColor(), RGB(226, 0, 0));
    EXPECT_NE(::GetCapture(), label.m_hWnd);

    // With underline on, the leave notification ends the hover too.
    label.SetHoverUnderline(true);
    label.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(3, 3));
    EXPECT_TRUE(label.IsUnderlined());
    label.SendMessage(WM_MOUSELEAVE);
    EXPECT_FALSE(label.IsHovered());
    EXPECT_FALSE(label.IsUnderlined());
    EXPECT_EQ(label.GetTextColor(), RGB(226, 0, 0));

    // The status line does not react at all.
    label.SetHoverTracking(false);
    label.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(3, 3));
    EXPECT_FALSE(label.IsHovered());
    EXPECT_EQ(::GetCapture(), nullptr);
    // Hover without colour change keeps the colour (a label meant to look plain).
    label.SetHoverTracking(true);
    label.SetHoverColorChange(false);
    label.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(3, 3));
    EXPECT_TRUE(label.IsHovered());
    EXPECT_EQ(label.GetTextColor(), RGB(226, 0, 0));
    ::ReleaseCapture();  // someone else taking the mouse ends the hover
    EXPECT_FALSE(label.IsHovered());
}

// The main window turns the red "Searching for Skype" label into the black
// user name while the mouse may be resting on it.
TEST(Label, ColourOrTrackingChangedWhileHoveredEndsInTheNewState) {
    CHostDlg dlg;
    ASSERT_TRUE(dlg.Create(nullptr));
    CLabelEx label;
    ASSERT_TRUE(label.SubclassDlgItem(107, dlg));
    label.SetTextColor(RGB(226, 0, 0));
    label.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(3, 3));
    ASSERT_TRUE(label.IsHovered());
    label.SetTextColor(RGB(0, 0, 0));
    EXPECT_EQ(label.GetTextColor(), RGB(0, 0, 255));  // still hovered: still blue
    label.SendMessage(WM_MOUSELEAVE);
    EXPECT_EQ(label.GetTextColor(), RGB(0, 0, 0));

    // Becoming a plain label (the user name once Skype answers) ends the hover there and then.
    label.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(3, 3));
    ASSERT_TRUE(label.IsHovered());
    label.SetHoverTracking(false);
    EXPECT_FALSE(label.IsHovered());
    EXPECT_NE(::GetCapture(), label.m_hWnd);
    EXPECT_EQ(label.GetTextColor(), RGB(0, 0, 0));
}

TEST(Label, ClickTogglesPressedAndNotifiesTheParent) {
    CHostDlg dlg;
    ASSERT_TRUE(dlg.Create(nullptr));
    CLabelEx label;
    ASSERT_TRUE(label.SubclassDlgItem(107, dlg));
    label.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    label.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
    EXPECT_TRUE(label.IsPressed());
    ASSERT_EQ(dlg.m_commands.size(), 1u);
    EXPECT_EQ(dlg.m_commands[0].first, 107u);
    EXPECT_EQ(dlg.m_commands[0].second, (UINT)STN_CLICKED);
    label.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    EXPECT_FALSE(label.IsPressed());
}

TEST(Label, PaintsGreyWhenDisabledAndTheIconAtTheLeft) {
    CHostDlg dlg;
    ASSERT_TRUE(dlg.Create(nullptr));
    CLabelEx label;
    ASSERT_TRUE(label.SubclassDlgItem(107, dlg));
    label.SetWindowText(L"Searching for Skype");
    label.SetTextColor(RGB(226, 0, 0));
    RECT rc = label.GetClientRect();
    CCanvas canvas(rc.right, rc.bottom);

    label.DrawTo(canvas.Dc(), rc);
    EXPECT_GT(canvas.Count(RGB(226, 0, 0)), 10);
    // No icon list: nothing but background left of the text start (4 pixels).
    EXPECT_EQ(canvas.Count(RECT{0, 0, 4, rc.bottom}, RGB(226, 0, 0)), 0);

    label.EnableWindow(false);
    label.DrawTo(canvas.Dc(), rc);
    EXPECT_EQ(canvas.Count(RGB(226, 0, 0)), 0);
    EXPECT_GT(canvas.Count(RGB(189, 189, 189)), 10);
    label.EnableWindow(true);

    // Two 16x16 icons: magenta (masked) frame around a blue and a green square.
    CBitmap strip;
    strip.CreateDib32(32, 16);
    {
        CCompatibleDC dc;
        CSelectObject sel(dc, strip);
        FillSolidRect(dc, RECT{0, 0, 32, 16}, RGB(217, 222, 224));
        FillSolidRect(dc, RECT{4, 4, 12, 12}, RGB(51, 150, 253));
        FillSolidRect(dc, RECT{20, 4, 28, 12}, RGB(0, 170, 60));
    }
    ASSERT_TRUE(label.SetIconList(strip, RGB(217, 222, 224)));
    label.SetIconIndex(1);
    label.DrawTo(canvas.Dc(), rc);
    int yMid = (rc.bottom - 16) / 2 + 8;
    EXPECT_EQ(canvas.At(8, yMid), RGB(0, 170, 60));
    EXPECT_EQ(canvas.Count(RGB(51, 150, 253)), 0);
    // The mask colour shows the parent's background, not itself.
    EXPECT_EQ(canvas.Count(RGB(217, 222, 224)), 0);
    // The text moved right of the icon.
    EXPECT_EQ(canvas.Count(RECT{0, 0, 20, rc.bottom}, RGB(226, 0, 0)), 0);
    EXPECT_GT(canvas.Count(RGB(226, 0, 0)), 10);
}

TEST(BitmapButton, SlotsTransparencyGreyAndTooltip) {
    CHostDlg dlg;
    ASSERT_TRUE(dlg.Create(nullptr));
    CMyButtonST button;
    ASSERT_TRUE(button.SubclassDlgItem(106, dlg));
    EXPECT_EQ(button.GetStyle() & BS_TYPEMASK, (DWORD)BS_OWNERDRAW);
    RECT rc = button.GetClientRect();
    CCanvas canvas(rc.right, rc.bottom);
    int cx = rc.right / 2, cy = rc.bottom / 2;

    // Only slot 0: the same picture in every state.
    ASSERT_TRUE(button.SetBitmaps(MakeFramedBitmap(12, 12, RGB(255, 0, 0), RGB(255, 255, 255)), RGB(255, 255, 255)));
    EXPECT_EQ(button.GetSlotCount(), 1);
    for (bool bPressed : {false, true}) {
        button.DrawButton(canvas.Dc(), rc, bPressed, false);
        EXPECT_EQ(canvas.At(cx, cy), RGB(255, 0, 0));
    }
    // The white frame is transparent: the dialog's background shows.
    EXPECT_EQ(canvas.Count(RGB(255, 255, 255)), 0);
    EXPECT_EQ(canvas.At(0, 0), ::GetSysColor(COLOR_BTNFACE));

    // Disabled: its luminance.
    button.DrawButton(canvas.Dc(), rc, false, true);
    EXPECT_EQ(canvas.At(cx, cy), RGB(76, 76, 76));
    button.SetGrayWhenDisabled(false);
    button.DrawButton(canvas.Dc(), rc, false, true);
    EXPECT_EQ(canvas.At(cx, cy), RGB(255, 0, 0));

    // Hover in slot 0, normal in slot 1, pressed in slot 2; an empty slot ends the list.
    ASSERT_TRUE(button.SetBitmaps(MakeFramedBitmap(12, 12, RGB(255, 0, 0), RGB(0, 0, 0)), RGB(0, 0, 0),
                                  MakeFramedBitmap(12, 12, RGB(0, 255, 0), RGB(0, 0, 0)), RGB(0, 0, 0),
                                  MakeFramedBitmap(12, 12, RGB(0, 0, 255), RGB(0, 0, 0)), RGB(0, 0, 0)));
    EXPECT_EQ(button.GetSlotCount(), 3);
    button.DrawButton(canvas.Dc(), rc, false, false);
    EXPECT_EQ(canvas.At(cx, cy), RGB(0, 255, 0));  // mouse elsewhere: normal
    EXPECT_EQ(canvas.Count(RGB(0, 0, 0)), 0);
    EXPECT_FALSE(button.SetBitmaps(nullptr, 0, MakeFramedBitmap(4, 4, 0, 0), 0));
    EXPECT_EQ(button.GetSlotCount(), 0);
    EXPECT_FALSE(button.SetBitmaps(4242, RGB(255, 255, 255)));

    // Tooltip: one tool, text set and then changed.
    button.SetTooltipText(L"History");
    EXPECT_EQ(button.GetTooltipText(), L"History");
    button.SetTooltipText(L"Options");
    EXPECT_EQ(button.GetTooltipText(), L"Options");
}

// Pause and resume are two quick clicks on the same button.
TEST(BitmapButton, AQuickSecondClickIsAClickToo) {
    CHostDlg dlg;
    ASSERT_TRUE(dlg.Create(nullptr));
    dlg.ShowWindow(SW_SHOW);
    CMyButtonST button;
    ASSERT_TRUE(button.SubclassDlgItem(106, dlg));
    button.SetBitmaps(MakeFramedBitmap(12, 12, RGB(255, 0, 0), RGB(255, 255, 255)), RGB(255, 255, 255));
    button.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    button.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
    button.SendMessage(WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(3, 3));
    button.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
    int nClicks = 0;
    for (auto [nId, nCode] : dlg.m_commands) {
        EXPECT_EQ(nId, 106u);
        nClicks += nCode == BN_CLICKED;
    }
    EXPECT_EQ(nClicks, 2);
}

TEST(BitmapButton, HoverFollowsTheMouseOnlyWhileItsWindowIsActive) {
    CHostDlg dlg;
    ASSERT_TRUE(dlg.Create(nullptr));
    CMyButtonST button;
    ASSERT_TRUE(button.SubclassDlgItem(106, dlg));
    button.SetBitmaps(MakeFramedBitmap(12, 12, RGB(255, 0, 0), RGB(255, 255, 255)), RGB(255, 255, 255),
                      MakeFramedBitmap(12, 12, RGB(0, 255, 0), RGB(255, 255, 255)), RGB(255, 255, 255));
    RECT rc = button.GetClientRect();
    CCanvas canvas(rc.right, rc.bottom);

    dlg.ShowWindow(SW_SHOW);
    ::SetActiveWindow(dlg);
    ASSERT_EQ(::GetActiveWindow(), dlg.m_hWnd);
    button.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
    EXPECT_TRUE(button.IsHovered());
    button.DrawButton(canvas.Dc(), rc, false, false);
    EXPECT_EQ(canvas.At(rc.right / 2, rc.bottom / 2), RGB(255, 0, 0));
    button.SendMessage(WM_MOUSELEAVE);
    EXPECT_FALSE(button.IsHovered());
    button.DrawButton(canvas.Dc(), rc, false, false);
    EXPECT_EQ(canvas.At(rc.right / 2, rc.bottom / 2), RGB(0, 255, 0));

    button.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
    button.SendMessage(WM_KILLFOCUS);
    EXPECT_FALSE(button.IsHovered());

    // Another window of the program active: no hover.
    CHostDlg other;
    ASSERT_TRUE(other.Create(nullptr));
    other.ShowWindow(SW_SHOW);
    ::SetActiveWindow(other);
    button.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
    EXPECT_FALSE(button.IsHovered());
}

TEST(FlatTabs, OwnDrawingAddsTheStyleAndPaintsTheFlatColours) {
    CHostDlg dlg;
    ASSERT_TRUE(dlg.Create(nullptr));
    CEnTabCtrl tab;
    ASSERT_TRUE(tab.CreateEx(0, WC_TABCONTROLW, L"", WS_CHILD | WS_VISIBLE, RECT{0, 0, 300, 120}, dlg, 1020));
    tab.SetFont(dlg.GetFont());
    EXPECT_EQ(tab.GetStyle() & TCS_OWNERDRAWFIXED, 0u);
    tab.EnableDraw(BTC_ALL);
    EXPECT_NE(tab.GetStyle() & TCS_OWNERDRAWFIXED, 0u);
    tab.InsertItem(0, L"General");
    tab.InsertItem(1, L"Call Recording");
    tab.InsertItem(2, L"MP3 Quality");
    ASSERT_EQ(tab.GetItemCount(), 3);
    EXPECT_EQ(tab.GetItemText(1), L"Call Recording");
    tab.SetCurSel(0);

    CCanvas canvas(300, 120);
    tab.DrawAll(canvas.Dc(), RECT{0, 0, 300, 120});
    COLORREF crFace = ::GetSysColor(COLOR_BTNFACE);
    COLORREF crSelText = ::GetSysColor(COLOR_WINDOWTEXT), crText = HalveColor(crFace);
    RECT rc0 = tab.GetItemRect(0), rc1 = tab.GetItemRect(1);
    EXPECT_GT(canvas.Count(rc0, crSelText), 5);
    EXPECT_EQ(canvas.Count(rc0, crText), 0);
    EXPECT_GT(canvas.Count(rc1, crText), 5);
    EXPECT_EQ(canvas.Count(rc1, crSelText), 0);
    EXPECT_EQ(canvas.At(rc1.left + 2, rc1.top + 2), crFace);
    EXPECT_EQ(canvas.At(150, 80), crFace);  // the page area
    // The page's frame runs on under the other tabs and opens under the selected
    // one: down a column beside the text, the selected tab has only its top line.
    COLORREF crLine = ::GetSysColor(COLOR_BTNSHADOW);
    auto linesDown = [&](const RECT& rcItem) {
        int n = 0;
        for (int y = 0; y < rcItem.bottom + 8; ++y) n += canvas.At(rcItem.left + 2, y) == crLine;
        return n;
    };
    EXPECT_EQ(linesDown(rc1), 1);
    EXPECT_EQ(linesDown(tab.GetItemRect(2)), 1);
    EXPECT_EQ(linesDown(rc0), 1);

    // The selection moves: so do the colours.
    tab.SetCurSel(1);
    tab.DrawAll(canvas.Dc(), RECT{0, 0, 300, 120});
    EXPECT_GT(canvas.Count(tab.GetItemRect(1), crSelText), 5);
    EXPECT_EQ(canvas.Count(tab.GetItemRect(0), crSelText), 0);
    tab.Invalidate();
    EXPECT_TRUE(tab.UpdateWindow());
}

namespace {
// A skinned window: its picture, drawn in OnPaint, must show behind the
// transparent parts of the label and the bitmap button.
class CSkinDlg : public CHostDlg {
public:
    int m_nPaints = 0;

protected:
    LRESULT OnPaint() override {
        ++m_nPaints;
        CPaintDC dc(m_hWnd);
        RECT rc = GetClientRect();
        FillSolidRect(dc, rc, RGB(200, 0, 200));
        // A stripe at the left, to see the child's offset in the picture.
        FillSolidRect(dc, RECT{0, 0, 12, rc.bottom}, RGB(0, 0, 90));
        return 0;
    }
};
}  // namespace

TEST(SkinBackground, LabelAndButtonShowTheParentsPictureBehindThem) {
    CSkinDlg dlg;
    ASSERT_TRUE(dlg.Create(nullptr));
    CLabelEx label;
    ASSERT_TRUE(label.SubclassDlgItem(107, dlg));
    label.SetWindowText(L"Ready");
    RECT rcLabel = label.GetClientRect();
    CCanvas canvas(rcLabel.right, rcLabel.bottom);
    label.DrawTo(canvas.Dc(), rcLabel);
    RECT rcInParent = label.GetRectInParent();
    ASSERT_GE(rcInParent.left, 0);
    // The label sits right of the stripe, so only the skin colour shows.
    EXPECT_EQ(canvas.At(rcLabel.right - 1, 0), RGB(200, 0, 200));
    EXPECT_EQ(canvas.Count(::GetSysColor(COLOR_BTNFACE)), 0);

    // Moved onto the stripe: the stripe shows at the label's left, offset right.
    label.SetWindowPos(nullptr, 4, rcInParent.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    label.DrawTo(canvas.Dc(), rcLabel);
    EXPECT_EQ(canvas.At(0, 0), RGB(0, 0, 90));
    EXPECT_EQ(canvas.At(7, 0), RGB(0, 0, 90));
    EXPECT_EQ(canvas.At(8, 0), RGB(200, 0, 200));

    CMyButtonST button;
    ASSERT_TRUE(button.SubclassDlgItem(106, dlg));
    button.SetBitmaps(MakeFramedBitmap(12, 12, RGB(255, 0, 0), RGB(255, 255, 255)), RGB(255, 255, 255));
    RECT rcButton = button.GetClientRect();
    CCanvas canvasButton(rcButton.right, rcButton.bottom);
    button.DrawButton(canvasButton.Dc(), rcButton, false, false);
    EXPECT_EQ(canvasButton.At(rcButton.right - 1, 0), RGB(200, 0, 200));
    EXPECT_EQ(canvasButton.At(rcButton.right / 2, rcButton.bottom / 2), RGB(255, 0, 0));
    EXPECT_EQ(canvasButton.Count(RGB(255, 255, 255)), 0);

    // Ordinary painting still goes through BeginPaint.
    dlg.ShowWindow(SW_SHOW);
    int nBefore = dlg.m_nPaints;
    dlg.Invalidate();
    dlg.UpdateWindow();
    EXPECT_GT(dlg.m_nPaints, nBefore);
}

TEST(Label, HandCursorComesFromTheResourcesWithItsFingertipHotSpot) {
    HCURSOR hCursor = (HCURSOR)::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDC_LABEL_HAND),
                                            IMAGE_CURSOR, 0, 0, LR_DEFAULTSIZE);
    ASSERT_NE(hCursor, nullptr);
    ICONINFO ii{};
    ASSERT_TRUE(::GetIconInfo(hCursor, &ii));
    EXPECT_FALSE(ii.fIcon);
    EXPECT_EQ(ii.xHotspot, 6u);
    EXPECT_EQ(ii.yHotspot, 0u);
    // Read the mask (a monochrome cursor keeps AND over XOR in one bitmap):
    // the hot spot must be on the narrow top of the finger, the first opaque row.
    BITMAP bm{};
    ASSERT_TRUE(::GetObjectW(ii.hbmMask, sizeof(bm), &bm));
    int cx = bm.bmWidth, cy = ii.hbmColor ? bm.bmHeight : bm.bmHeight / 2;
    std::vector<DWORD> px((size_t)cx * bm.bmHeight);
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), cx, -bm.bmHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    HDC hScreen = ::GetDC(nullptr);
    ASSERT_EQ(::GetDIBits(hScreen, ii.hbmMask, 0, bm.bmHeight, px.data(), &bi, DIB_RGB_COLORS), bm.bmHeight);
    ::ReleaseDC(nullptr, hScreen);
    auto opaque = [&](int x, int y) { return (px[(size_t)y * cx + x] & 0xFFFFFF) == 0; };
    int nTopRow = -1, nRows = 0, nTopWidth = 0;
    for (int y = 0; y < cy; ++y) {
        int n = 0;
        for (int x = 0; x < cx; ++x) n += opaque(x, y);
        if (n && nTopRow < 0) nTopRow = y, nTopWidth = n;
        nRows += n > 0;
    }
    EXPECT_EQ(nTopRow, (int)ii.yHotspot);
    EXPECT_TRUE(opaque(ii.xHotspot, ii.yHotspot));
    EXPECT_LE(nTopWidth, 3);  // a fingertip
    EXPECT_GE(nRows, 16);     // with a hand below it
    if (ii.hbmMask) ::DeleteObject(ii.hbmMask);
    if (ii.hbmColor) ::DeleteObject(ii.hbmColor);
    ::DestroyCursor(hCursor);
}

TEST(Label, FrameAndUnderlineAreDrawnInTheirColours) {
    CHostDlg dlg;
    ASSERT_TRUE(dlg.Create(nullptr));
    CLabelEx label;
    ASSERT_TRUE(label.SubclassDlgItem(107, dlg));
    label.SetWindowText(L"issue");
    label.SetTextColor(RGB(0, 90, 0));
    label.SetFrame(true);
    RECT rc = label.GetClientRect();
    CCanvas canvas(rc.right, rc.bottom);
    label.DrawTo(canvas.Dc(), rc);
    EXPECT_EQ(canvas.At(0, 0), RGB(0, 90, 0));
    EXPECT_EQ(canvas.At(rc.right - 1, rc.bottom - 1), RGB(0, 90, 0));
    EXPECT_EQ(canvas.At(1, 1), ::GetSysColor(COLOR_BTNFACE));

    label.SetFrame(false);
    label.SetHoverUnderline(true);
    label.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(3, 3));
    label.DrawTo(canvas.Dc(), rc);
    // One row of blue under the text: a run of at least its width in one line.
    int nBest = 0;
    for (int y = 0; y < rc.bottom; ++y) nBest = std::max(nBest, canvas.Count(RECT{0, y, rc.right, y + 1}, RGB(0, 0, 255)));
    EXPECT_GE(nBest, 15);
    label.SendMessage(WM_MOUSELEAVE);
}
