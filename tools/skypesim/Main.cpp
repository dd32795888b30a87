// skypesim: a stand-in for the Skype desktop client, for tests and benchmarks.
#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <memory>
#include <vector>

#include <algorithm>

#include "AudioStream.h"
#include "Options.h"
#include "Scenario.h"
#include "SimApp.h"
#include "SimLog.h"
#include "base/StringUtil.h"

namespace {

// Streams both sides straight to the given ports, with no API client: benchmark mode.
int RunStreamMode(const SimOptions& opt, CSimLog& log) {
    struct Side {
        const wchar_t* pszName;
        int nPort;
        SimSourceDesc desc;
        double dStart;
        double dEnd;
        double dStallAt;
        double dStallFor;
        double dHoldAt;
        double dHoldFor;
        double dPpm;
        std::unique_ptr<CAudioStream> pStream;
    };
    const double dSecondEnd = opt.dSecondAt + opt.dSecondFor;
    // The second call's copy of my microphone: the same sound, scaled, a little later.
    SimSourceDesc mic2 = opt.mic;
    mic2.dGain = opt.dMic2Gain;
    mic2.dLagMs = opt.dMic2LagMs;
    Side sides[4] = {{L"mic", opt.nMicPort, opt.mic, opt.dMicStart, opt.dSeconds, opt.dMicStallAt, opt.dMicStallFor,
                      opt.dMicHoldAt, opt.dMicHoldFor, opt.dMicPpm, nullptr},
                     {L"remote", opt.nRemotePort, opt.remote, opt.dRemoteStart, opt.dSeconds, opt.dRemoteStallAt,
                      opt.dRemoteStallFor, opt.dRemoteHoldAt, opt.dRemoteHoldFor, opt.dRemotePpm, nullptr},
                     {L"mic2", opt.dSecondFor > 0 ? opt.nMicPort : 0, mic2, opt.dSecondAt, dSecondEnd, 0, 0, 0, 0,
                      opt.dMicPpm, nullptr},
                     {L"remote2", opt.dSecondFor > 0 ? opt.nRemotePort : 0, opt.remote2, opt.dSecondAt, dSecondEnd, 0, 0,
                      0, 0, opt.dRemotePpm, nullptr}};
    // Every stream counts its time from the same instant, so that the same second
    // of audio leaves every connection at the same moment.
    const double dEpoch = SimClock() + 0.05;
    for (Side& s : sides) {
        if (s.nPort <= 0) continue;
        std::wstring err;
        auto source = CAudioSource::Create(s.desc, err);
        if (!source) {
            fwprintf(stderr, L"skypesim: %ls\n", err.c_str());
            return 2;
        }
        SimStreamTiming timing;
        timing.dEpoch = dEpoch;
        timing.dStart = s.dStart;
        timing.dStallAt = s.dStallAt;
        timing.dStallFor = s.dStallFor;
        timing.dHoldAt = s.dHoldAt;
        timing.dHoldFor = s.dHoldFor;
        timing.dRate = 1 + s.dPpm * 1e-6;
        const uint64_t nBlocks = static_cast<uint64_t>(std::max(0.0, s.dEnd - s.dStart) * 100.0 + 0.5);
        s.pStream = std::make_unique<CAudioStream>(std::move(source), s.nPort, opt.dSpeed, nBlocks, false, &log,
                                                   std::wstring(L"stream ") + s.pszName, timing);
    }
    for (Side& s : sides)
        if (s.pStream) s.pStream->Start();
    double dStart = log.Now();
    for (;;) {
        bool bRunning = false;
        for (Side& s : sides)
            if (s.pStream && s.pStream->Result() == STREAM_RUNNING) bRunning = true;
        if (!bRunning) break;
        if (opt.dQuitAfter > 0 && log.Now() >= opt.dQuitAfter) {
            log.Write(L"INFO", L"exit quit-after");
            break;
        }
        ::Sleep(10);
    }
    for (Side& s : sides)
        if (s.pStream) s.pStream->Stop();
    double dTotal = log.Now() - dStart;
    bool bAllOk = true;
    uint64_t nTotal = 0;
    for (Side& s : sides) {
        if (!s.pStream) continue;
        CAudioStream& st = *s.pStream;
        double secs = st.Seconds();
        double audio = static_cast<double>(st.Blocks()) / 100.0;
        std::wstring line = FormatW(L"%ls: port=%d blocks=%llu bytes=%llu seconds=%.3f audio_seconds=%.3f speed=%.2f result=%ls",
                                    s.pszName, s.nPort, static_cast<unsigned long long>(st.Blocks()),
                                    static_cast<unsigned long long>(st.Blocks() * SIM_BLOCK_BYTES), secs, audio,
                                    secs > 0 ? audio / secs : 0.0, StreamResultName(st.Result()));
        wprintf(L"%ls\n", line.c_str());
        log.Write(L"INFO", line);
        nTotal += st.Blocks();
        if (st.Result() != STREAM_OK) bAllOk = false;
    }
    std::wstring total = FormatW(L"total: blocks=%llu bytes=%llu seconds=%.3f", static_cast<unsigned long long>(nTotal),
                                 static_cast<unsigned long long>(nTotal * SIM_BLOCK_BYTES), dTotal);
    wprintf(L"%ls\n", total.c_str());
    fflush(stdout);
    log.Write(L"INFO", total);
    return bAllOk ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    SimOptions opt;
    std::wstring err;
    if (!ParseOptions(argc, argv, opt, err)) {
        fwprintf(stderr, L"skypesim: %ls\n%ls", err.c_str(), UsageText());
        return 2;
    }
    if (opt.bHelp) {
        wprintf(L"%ls", UsageText());
        return 0;
    }
    std::vector<SimStep> steps;
    if (!opt.strScenario.empty() && !LoadScenario(opt.strScenario, steps, err)) {
        fwprintf(stderr, L"%ls\n", err.c_str());
        return 2;
    }
    CSimLog log;
    log.SetEcho(opt.bVerbose);
    if (!opt.strLog.empty() && !log.Open(opt.strLog)) {
        fwprintf(stderr, L"skypesim: cannot create log file '%ls'\n", opt.strLog.c_str());
        return 2;
    }
    WSADATA wsa;
    if (::WSAStartup(MAKEWORD(2, 2), &wsa) != 0) {
        fwprintf(stderr, L"skypesim: WSAStartup failed\n");
        return 3;
    }
    int nExit;
    if (opt.bStream) {
        nExit = RunStreamMode(opt, log);
    } else {
        CSimApp app(opt, std::move(steps), log);
        nExit = app.Run();
    }
    ::WSACleanup();
    return nExit;
}
