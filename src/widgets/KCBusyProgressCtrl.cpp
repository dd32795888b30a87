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

// A 32-bit DIB pixel (0x00RRGGBB) from a COLORREF (0x00BBGGRR).
DWORD DibPixel(COLORREF cr) { return (DWORD)GetRValue(cr) << 16 | (DWORD)GetGValue(cr) << 8 | GetBValue(cr); }

// Pixels of a top-down 32-bit DIB of cx x cy; rectangles are clipped to it.
struct CPixels {
    DWORD* pBits;
    int cx, cy;
    void Fill(RECT rc, DWORD px) const {
        if (rc.left < 0) rc.left = 0;
        if (rc.top < 0) rc.top = 0;
        if (rc.right > cx) rc.right = cx;
        if (rc.bottom > cy) rc.bottom = cy;
        for (int y = rc.top; y < rc.bottom; ++y)
            for (int x = rc.left; x < rc.right; ++x) pBits[(size_t)y * cx + x] = px;
    }
    void Frame(const RECT& rc, DWORD px) const {
        Fill(RECT{rc.left, rc.top, rc.right, rc.top + 1}, px);
        Fill(RECT{rc.left, rc.bottom - 1, rc.right, rc.bottom}, px);
        Fill(RECT{rc.left, rc.top, rc.left + 1, rc.bottom}, px);
        Fill(RECT{rc.right - 1, rc.top, rc.right, rc.bottom}, px);
    }
};
}  // namespace

void CKCBusyProgressCtrl::SetLevelName(const std::wstring& strName) {
    m_strLevelName = strName;
    m_nNamedTenths = -1;
    NameLevel();
}

void CKCBusyProgressCtrl::NameLevel() {
    if (!m_hWnd || m_strLevelName.empty()) return;
    int nTenths = 0;
    if (m_nUpper > m_nLower && m_nPos > m_nLower)
        nTenths = m_nPos >= m_nUpper ? 10 : (int)((long long)(m_nPos - m_nLower) * 10 / (m_nUpper - m_nLower));
    if (nTenths == m_nNamedTenths) return;
    m_nNamedTenths = nTenths;
    SetWindowText(m_strLevelName + L" level " + std::to_wstring(nTenths * 10) + L" %");
}

LRESULT CKCBusyProgressCtrl::OnMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    // The static control would draw the new text over the blocks at once.
    if (uMsg == WM_SETTEXT) return ::DefWindowProcW(m_hWnd, uMsg, wParam, lParam);
    return CMemDCStatic::OnMessage(uMsg, wParam, lParam);
}

void CKCBusyProgressCtrl::ShowPos(int nPos) {
    m_nPos = nPos;
    if (!m_hWnd) return;
    NameLevel();
    // Hidden in the tray or minimized: nothing to draw; showing it again paints.
    if (!::IsWindowVisible(m_hWnd) || ::IsIconic(::GetAncestor(m_hWnd, GA_ROOT))) {
        m_bShown = false;
        return;
    }
    RECT rc = GetClientRect();
    if (m_bShown && rc.right - rc.left == m_cxShown && SameBlocks(Blocks(rc.right - rc.left), m_mbShown)) return;
    CClientDC dc(m_hWnd);
    if (dc.Get()) Paint(dc, rc);
}

LRESULT CKCBusyProgressCtrl::OnPaint() {
    CPaintDC dc(m_hWnd);
    Paint(dc, GetClientRect());
    return 0;
}

void CKCBusyProgressCtrl::Paint(HDC hTarget, const RECT& rcClient) {
    Draw(hTarget, rcClient);
    m_cxShown = rcClient.right - rcClient.left;
    m_mbShown = Blocks(m_cxShown);
    m_bShown = true;
}

MeterBlocks CKCBusyProgressCtrl::Blocks(int cxClient) const {
    int nPos = m_nMode == BPC_MODE_PROGRESS ? m_nPos : m_nLower;
    return ComputeMeterBlocks(cxClient, m_nNumSteps, m_nGap, m_nLower, m_nUpper, nPos);
}

// The blocks are set as pixels of the kept bitmap and copied in one BitBlt: a
// hundred GDI fills per level cost more than everything else the level does.
void CKCBusyProgressCtrl::Draw(HDC hDC, const RECT& rcClient) {
    int cx = rcClient.right - rcClient.left, cy = rcClient.bottom - rcClient.top;
    if (cx <= 0 || cy <= 0 || !m_dcMem.Get()) return;
    if (m_bmpMem.IsNull() || m_szMem.cx != cx || m_szMem.cy != cy) {
        if (m_hOldBmp) ::SelectObject(m_dcMem, m_hOldBmp);
        m_hOldBmp = nullptr;
        m_szMem = SIZE{0, 0};
        void* pBits = nullptr;
        if (!m_bmpMem.CreateDib32(cx, cy, &pBits) || !pBits) return;
        m_pBits = static_cast<DWORD*>(pBits);
        m_szMem = SIZE{cx, cy};
        m_hOldBmp = ::SelectObject(m_dcMem, m_bmpMem);
    }
    ::GdiFlush();
    CPixels px{m_pBits, cx, cy};
    px.Fill(RECT{0, 0, cx, cy}, DibPixel(m_crBkg));
    MeterBlocks mb = Blocks(cx);
    const DWORD pxFace = DibPixel(m_crBlockFace), pxEdge = DibPixel(m_crBlockEdge);
    const DWORD pxFaceHi = DibPixel(m_crBlockFaceHi), pxEdgeHi = DibPixel(m_crBlockEdgeHi);
    for (int i = 0; i < m_nNumSteps; ++i) {
        RECT rc = MeterBlockRect(i, cy, mb.dBlockWidth, m_nGap);
        if (rc.right <= rc.left) continue;
        bool bLit = i < mb.nLit;
        px.Fill(rc, bLit ? pxFaceHi : pxFace);
        px.Frame(rc, bLit ? pxEdgeHi : pxEdge);
        if (i == mb.nLit && mb.nPartialWidth > 0) {
            LONG nRight = rc.left + 1 + mb.nPartialWidth;
            if (nRight > rc.right - 1) nRight = rc.right - 1;
            px.Fill(RECT{rc.left + 1, rc.top + 1, nRight, rc.bottom - 1}, pxFaceHi);
        }
    }
    ::BitBlt(hDC, rcClient.left, rcClient.top, cx, cy, m_dcMem, 0, 0, SRCCOPY);
}
