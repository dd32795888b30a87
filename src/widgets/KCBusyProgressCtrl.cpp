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
