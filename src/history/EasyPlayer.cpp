#include "history/EasyPlayer.h"

#include <vfw.h>

CEasyPlayer::~CEasyPlayer() { Destroy(); }

HWND CEasyPlayer::CreateMediaWindow() {
    const DWORD dwStyle = WS_CHILD | WS_VISIBLE | MCIWNDF_NOTIFYALL | MCIWNDF_NOMENU | MCIWNDF_NOPLAYBAR;
    m_hMediaWnd = ::MCIWndCreateW(m_hParentWnd, ::GetModuleHandleW(nullptr), dwStyle,
                                  m_strFileName.empty() ? nullptr : m_strFileName.c_str());
    if (m_hMediaWnd) Send(MCIWNDM_SETACTIVETIMER, PLAYER_ACTIVE_TIMER_MS, 0);
    return m_hMediaWnd;
}

LRESULT CEasyPlayer::Send(UINT uMsg, WPARAM wParam, LPARAM lParam) const {
    if (!m_hMediaWnd || !::IsWindow(m_hMediaWnd)) return 0;
    return ::SendMessageW(m_hMediaWnd, uMsg, wParam, lParam);
}

void CEasyPlayer::Play() const { Send(MCI_PLAY, 0, 0); }
void CEasyPlayer::Pause() const { Send(MCI_PAUSE, 0, 0); }
void CEasyPlayer::Stop() const { Send(MCI_STOP, 0, 0); }
void CEasyPlayer::Seek(LONG nPosition) const {
    Send(MCI_SEEK, 0, (LPARAM)nPosition);
    if (Send(MCIWNDM_GETERRORW, 0, 0) == 0 || GetLength() <= 0) return;
    // Some MCI drivers (Wine's DirectShow one) refuse to seek a stopped or paused
    // stream but do start playing from a position: do that and hold it there.
    Send(MCIWNDM_PLAYFROM, 0, (LPARAM)nPosition);
    Send(MCI_PAUSE, 0, 0);
}
void CEasyPlayer::CloseMedia() const { Send(MCI_CLOSE, 0, 0); }
LONG CEasyPlayer::GetLength() const { return (LONG)Send(MCIWNDM_GETLENGTH, 0, 0); }
LONG CEasyPlayer::GetPosition() const { return (LONG)Send(MCIWNDM_GETPOSITIONW, 0, 0); }

void CEasyPlayer::SetVolume(int nVolume) const {
    if (nVolume < 0) nVolume = 0;
    if (nVolume > 1000) nVolume = 1000;
    Send(MCIWNDM_SETVOLUME, 0, (LPARAM)nVolume);
}

LONG CEasyPlayer::GetMode() const { return (LONG)Send(MCIWNDM_GETMODEW, 0, 0); }

bool CEasyPlayer::HasPlayedToEnd(bool bStopMeansEnd) const {
    LONG nLength = GetLength();
    if (nLength <= 0) return false;
    return GetPosition() >= nLength || (bStopMeansEnd && GetMode() == MCI_MODE_STOP);
}

void CEasyPlayer::Destroy() {
    if (m_hMediaWnd && ::IsWindow(m_hMediaWnd)) ::SendMessageW(m_hMediaWnd, WM_CLOSE, 0, 0);
    m_hMediaWnd = nullptr;
    m_strFileName.clear();
}
