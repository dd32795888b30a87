#pragma once
// Block level meter: a row of blocks, lit from the left in proportion to the
// position, the first unlit block partly filled by the remainder.
#include <string>

#include "widgets/MemDCStatic.h"

inline constexpr int BPC_MODE_BUSY = 0;      // the control's initial mode; drawn as all unlit here
inline constexpr int BPC_MODE_PROGRESS = 1;  // the windows switch the meters to this

// Geometry of the meter in progress mode, apart from any window.
struct MeterBlocks {
    double dBlockWidth;  // width of one block, fractional
    int nLit;            // blocks drawn fully lit, 0..blocks
    int nPartialWidth;   // lit width inside block nLit, 0 when none
};
MeterBlocks ComputeMeterBlocks(int cxClient, int nBlocks, int nGap, int nLow, int nHigh, int nPos);
// Block i's rectangle for a meter of the given client size.
RECT MeterBlockRect(int i, int cyClient, double dBlockWidth, int nGap);

class CKCBusyProgressCtrl : public CMemDCStatic {
public:
    CKCBusyProgressCtrl() = default;
    ~CKCBusyProgressCtrl();
    CKCBusyProgressCtrl(const CKCBusyProgressCtrl&) = delete;
    CKCBusyProgressCtrl& operator=(const CKCBusyProgressCtrl&) = delete;
    void SetNumSteps(int nBlocks) {
        m_nNumSteps = nBlocks > 0 ? nBlocks : 1;
        m_bShown = false;
    }
    int GetNumSteps() const { return m_nNumSteps; }
    void SetInterval(int nGap) {
        m_nGap = nGap >= 0 ? nGap : 0;
        m_bShown = false;
    }
    void SetRange(int nLow, int nHigh) {
        m_nLower = nLow;
        m_nUpper = nHigh;
        m_bShown = false;
    }
    void SetPos(int nPos) { m_nPos = nPos; }
    // Sets the position and shows it on the screen at once, drawing straight
    // into the window rather than through a paint message, and only when the
    // picture changes: levels arrive about 30 times a second and a third of
    // them draw what is already there.
    void ShowPos(int nPos);
    int GetPos() const { return m_nPos; }
    // What the meter measures ("Microphone"): its window text, read by screen readers,
    // becomes "Microphone level 40 %", in steps of 10 %.
    void SetLevelName(const std::wstring& strName);
    void SetMode(int nMode) {
        m_nMode = nMode;
        m_bShown = false;
    }
    int GetMode() const { return m_nMode; }
    // Stops the busy animation (there is none here; kept for the windows' set-up).
    void End() {}
    void SetColBkg(COLORREF cr) {
        m_crBkg = cr;
        m_bShown = false;
    }
    void SetColBlockFace(COLORREF cr) {
        m_crBlockFace = cr;
        m_bShown = false;
    }
    void SetColBlockEdge(COLORREF cr) {
        m_crBlockEdge = cr;
        m_bShown = false;
    }
    void SetColBlockFaceHi(COLORREF cr) {
        m_crBlockFaceHi = cr;
        m_bShown = false;
    }
    void SetColBlockEdgeHi(COLORREF cr) {
        m_crBlockEdgeHi = cr;
        m_bShown = false;
    }

protected:
    void Draw(HDC hDC, const RECT& rcClient) override;
    LRESULT OnPaint() override;
    LRESULT OnMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

private:
    // Draws to a window DC and remembers what the screen now shows.
    void Paint(HDC hTarget, const RECT& rcClient);
    MeterBlocks Blocks(int cxClient) const;
    void NameLevel();

    // What the screen shows, so that a level that changes no pixel draws
    // nothing; any other property change forgets it.
    bool m_bShown = false;
    std::wstring m_strLevelName;
    int m_nNamedTenths = -1;  // the level the window text gives, in tenths of the range
    int m_cxShown = 0;
    MeterBlocks m_mbShown{0.0, 0, 0};
    // The off-screen picture, kept for the whole life of the control: making a
    // memory DC and bitmap for every level costs more than drawing the blocks.
    CCompatibleDC m_dcMem;
    CBitmap m_bmpMem;
    DWORD* m_pBits = nullptr;
    SIZE m_szMem{0, 0};
    HGDIOBJ m_hOldBmp = nullptr;
    int m_nNumSteps = 10;
    int m_nGap = 1;
    int m_nLower = 0;
    int m_nUpper = 100;
    int m_nPos = 0;
    int m_nMode = BPC_MODE_BUSY;
    COLORREF m_crBkg = ::GetSysColor(COLOR_BTNFACE);
    COLORREF m_crBlockFace = RGB(160, 190, 220);
    COLORREF m_crBlockEdge = RGB(50, 90, 135);
    COLORREF m_crBlockFaceHi = RGB(0, 200, 0);
    COLORREF m_crBlockEdgeHi = RGB(0, 200, 0);
};
