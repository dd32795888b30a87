#include "app/OneSidedGuard.h"

std::wstring FindOneSided(int64_t nMicSilentMs, int64_t nRemoteSilentMs) {
    if (nMicSilentMs >= ONESIDED_SILENT_MS && nRemoteSilentMs < ONESIDED_SOUND_MS) return L"mic";
    if (nRemoteSilentMs >= ONESIDED_SILENT_MS && nMicSilentMs < ONESIDED_SOUND_MS) return L"remote";
    return {};
}

void COneSidedGuard::Check() {
    int64_t nMicMs = 0, nRemoteMs = 0;
    if (m_bFound || !m_host.GetSilentMs(nMicMs, nRemoteMs)) return;
    std::wstring strSide = FindOneSided(nMicMs, nRemoteMs);
    if (strSide.empty()) return;
    m_bFound = true;
    m_host.MarkOneSided(strSide);
    if (strSide == L"mic")
        m_host.ShowBalloon(L"Your microphone is silent",
                           L"Your microphone has sent only silence for 15 seconds while the other side talks. "
                           L"Is it muted, or is another microphone chosen in Skype?");
    else
        m_host.ShowBalloon(L"The other side is silent",
                           L"The other side of the call has sent only silence for 15 seconds while you talk. "
                           L"The recording may hold only your voice.");
}
