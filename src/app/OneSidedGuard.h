#pragma once
// A recording of both sides in which one side has sent only silence (or nothing)
// for a while the other side carries sound: a muted or wrong microphone, or a
// remote side that does not reach the recording. Found while the call is still
// on, told once in a tray balloon and kept as a mark on the history entry.
#include <cstdint>
#include <string>

#include "app/GuardHost.h"

constexpr int64_t ONESIDED_SILENT_MS = 15000;
// The other side carries sound when it brought some within this span.
constexpr int64_t ONESIDED_SOUND_MS = 2000;
constexpr unsigned ONESIDED_CHECK_MS = 1000;

// "mic" or "remote" for the side found silent, empty when neither is.
std::wstring FindOneSided(int64_t nMicSilentMs, int64_t nRemoteSilentMs);

class COneSidedGuard {
public:
    explicit COneSidedGuard(IGuardHost& host) : m_host(host) {}

    // A recording started: it may be found one-sided once.
    void OnRecordingStarted() { m_bFound = false; }
    // Every ONESIDED_CHECK_MS.
    void Check();

private:
    IGuardHost& m_host;
    bool m_bFound = false;
};
