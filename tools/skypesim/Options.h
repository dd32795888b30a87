#pragma once
// Command line of skypesim (see README.md for the meaning of each option).
#include <string>

#include "AudioSource.h"

struct SimOptions {
    std::wstring strScenario;
    std::wstring strLog;
    std::wstring strUser = L"alice";
    bool bRefuseAttach = false;
    bool bRefuseCommands = false;
    bool bAnnounce = false;
    bool bNoDuration = false;
    bool bQuietAttach = false;
    bool bVerbose = false;
    bool bStream = false;
    bool bHelp = false;
    SimSourceDesc mic;
    SimSourceDesc remote;
    double dSpeed = 1.0;  // 0 = as fast as the socket takes it
    double dQuitAfter = 0;  // 0 = never
    int nMicPort = 0;
    int nRemotePort = 0;
    double dSeconds = 10;
    // --stream only: a side that connects late, a side that stalls, and a second
    // call with a connection of its own per port (my microphone again, another remote voice).
    double dMicStart = 0, dRemoteStart = 0;
    double dMicStallAt = 0, dMicStallFor = 0, dRemoteStallAt = 0, dRemoteStallFor = 0;
    double dSecondAt = 0, dSecondFor = 0;
    SimSourceDesc remote2;
    // Both modes: a side whose clock runs fast or slow, a side that holds its audio
    // back and then sends it in a burst, and how the second copy of my microphone
    // (a second call's) differs from the first.
    double dMicPpm = 0, dRemotePpm = 0;
    double dMicHoldAt = 0, dMicHoldFor = 0, dRemoteHoldAt = 0, dRemoteHoldFor = 0;
    double dMic2Gain = 1, dMic2LagMs = 0;

    SimOptions();
};

bool ParseOptions(int argc, wchar_t** argv, SimOptions& opt, std::wstring& strError);
const wchar_t* UsageText();
