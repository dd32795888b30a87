#include "widgets/KCBusyProgressCtrl.h"

MeterBlocks ComputeMeterBlocks(int cxClient, int nBlocks, int nGap, int nLow, int nHigh, int nPos) {
    MeterBlocks mb{0.0, 0, 0};
    if (nBlocks <= 0) return mb;
    mb.dBlockWidth = (double)(cxClient - nBlocks * nGap) / nBlocks;
    if (mb.dBlockWidth < 0) mb.dBlockWidth = 0;
    // An empty or reversed range lights nothing rather than dividing by zero.
    if (nHigh <= nLow || nPos <= nLow) return mb;
    double f = (double)(nPos - nLow) / (double)(nHigh - nLow) * nBlocks;
    if (f >= nBlocks) {  // levels beyond the range light every block and nothing beyond
        mb.nLit = nBlocks;
        return mb;
    }
    mb.nLit = (int)f;
    int nPartial = (int)((f - mb.nLit) * mb.dBlockWidth);
    int nMax = (int)mb.dBlockWidth - 1;  // starts 1 pixel in; never past the block's right edge
    mb.nPartialWidth = nPartial > nMax ? (nMax > 0 ? nMax : 0) : nPartial;
    return mb;
}

RECT MeterBlockRect(int i, int cyClient, double dBlockWidth, int nGap) {
    double dLeft = i * (dBlockWidth + nGap);
    return RECT{(int)dLeft, 0, (int)(dLeft + dBlockWidth), cyClient};
}

CKCBusyProgressCtrl::~CKCBusyProgressCtrl() {
    if (m_hOldBmp) ::SelectObject(m_dcMem, m_hOldBmp);
}

namespace {
bool SameBlocks(const MeterBlocks& a, const MeterBlocks& b) {
    return a.nLit == b.nLit && a.nPartialWidth == b.nPartialWidth && a.dBlockWidth == b.dBlockWidth;
}
}  // namespace

void CKCBusyProgressCtrl::ShowPos(int nPos) {
    m_nPos = nPos;
    if (!m_hWnd) return;
    // Hidden in the tray or minimized: nothing to draw; showing it again paints.
    if (!::IsWindowVisible(m_hWnd) || ::IsIconic(::GetAncestor(m_hWnd, GA_ROOT))) {
        m_bShown = false;
        return;
    }
    RECT rc = GetClientRect();
    int cx = rc.right - rc.left;
    int nShownPos = m_nMode == BPC_MODE_PROGRESS ? m_nPos : m_nLower;
    MeterBlocks mb = ComputeMeterBlocks(cx, m_nNumSteps, m_nGap, m_nLower, m_nUpper, nShownPos);
    if (m_bShown && cx == m_cxShown && SameBlocks(mb, m_mbShown)) return;
    CClientDC dc(m_hWnd);
    if (dc.Get()) Paint(dc, rc);
}

LRESULT CKCBusyProgressCtrl::OnPaint() {
    CPaintDC dc(m_hWnd);
    Paint(dc, GetClientRect());
    return 0;
}

void CKCBusyProgressCtrl::Paint(HDC hTarget, const RECT& rcClient) {
    int cx = rcClient.right - rcClient.left, cy = rcClient.bottom - rcClient.top;
    if (cx <= 0 || cy <= 0 || !m_dcMem.Get()) return;
    if (m_bmpMem.IsNull() || m_szMem.cx != cx || m_szMem.cy != cy) {
        if (m_hOldBmp) ::SelectObject(m_dcMem, m_hOldBmp);
        m_hOldBmp = nullptr;
        if (!m_bmpMem.CreateCompatible(hTarget, cx, cy)) {
            m_szMem = SIZE{0, 0};
            return;
        }
        m_szMem = SIZE{cx, cy};
        m_hOldBmp = ::SelectObject(m_dcMem, m_bmpMem);
    }
    RECT rc{0, 0, cx, cy};
    Draw(m_dcMem, rc);
    ::BitBlt(hTarget, rcClient.left, rcClient.top, cx, cy, m_dcMem, 0, 0, SRCCOPY);
    int nShownPos = m_nMode == BPC_MODE_PROGRESS ? m_nPos : m_nLower;
    m_mbShown = ComputeMeterBlocks(cx, m_nNumSteps, m_nGap, m_nLower, m_nUpper, nShownPos);
    m_cxShown = cx;
    m_bShown = true;
}

void CKCBusyProgressCtrl::Draw(HDC hDC, const RECT& rcClient) {
    FillSolidRect(hDC, rcClient, m_crBkg);
    int cx = rcClient.right - rcClient.left, cy = rcClient.bottom - rcClient.top;
    int nPos = m_nMode == BPC_MODE_PROGRESS ? m_nPos : m_nLower;
    MeterBlocks mb = ComputeMeterBlocks(cx, m_nNumSteps, m_nGap, m_nLower, m_nUpper, nPos);
    for (int i = 0; i < m_nNumSteps; ++i) {
        RECT rc = MeterBlockRect(i, cy, mb.dBlockWidth, m_nGap);
        OffsetRect(&rc, rcClient.left, rcClient.top);
        if (rc.right <= rc.left) continue;
        bool bLit = i < mb.nLit;
        FillSolidRect(hDC, rc, bLit ? m_crBlockFaceHi : m_crBlockFace);
        FrameRectColor(hDC, rc, bLit ? m_crBlockEdgeHi : m_crBlockEdge);
        if (i == mb.nLit && mb.nPartialWidth > 0) {
            LONG nRight = rc.left + 1 + mb.nPartialWidth;
            if (nRight > rc.right - 1) nRight = rc.right - 1;
            FillSolidRect(hDC, RECT{rc.left + 1, rc.top + 1, nRight, rc.bottom - 1}, m_crBlockFaceHi);
        }
    }
}
