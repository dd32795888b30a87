#include "Options.h"

#include <cmath>
#include <cwchar>

namespace {

bool ParseNumber(const std::wstring& s, double dMin, double dMax, double& d) {
    if (s.empty()) return false;
    wchar_t* end = nullptr;
    d = wcstod(s.c_str(), &end);
    return end && *end == 0 && std::isfinite(d) && d >= dMin && d <= dMax;
}

}  // namespace

SimOptions::SimOptions() {
    mic.eKind = SOURCE_TONE;
    mic.dFrequency = 440;
    remote.eKind = SOURCE_TONE;
    remote.dFrequency = 1000;
    remote2.eKind = SOURCE_TONE;
    remote2.dFrequency = 1500;
}

const wchar_t* UsageText() {
    return L"usage: skypesim [--scenario FILE] [--log FILE|-] [--user HANDLE] [--refuse-attach]\n"
           L"                [--refuse-commands] [--announce] [--mic SOURCE] [--remote SOURCE]\n"
           L"                [--speed N|max] [--no-duration] [--quiet-attach] [--quit-after SECONDS] [--verbose]\n"
           L"       skypesim --stream [--mic-port P] [--remote-port P] [--seconds S] [--speed N|max]\n"
           L"                [--mic SOURCE] [--remote SOURCE] [--log FILE|-] [--quit-after SECONDS]\n"
           L"                [--mic-start S] [--remote-start S] [--mic-stall AT:FOR] [--remote-stall AT:FOR]\n"
           L"                [--second-call AT:FOR] [--remote2 SOURCE]\n"
           L"both: [--mic-ppm N] [--remote-ppm N] [--mic-holdup AT:FOR] [--remote-holdup AT:FOR]\n"
           L"      [--mic2-gain G] [--mic2-lag-ms L]\n"
           L"SOURCE: tone:FREQ[:AMPLITUDE] | burst:FREQ[:AMPLITUDE] | silence | wav:PATH (16 kHz mono 16-bit PCM)\n";
}

bool ParseOptions(int argc, wchar_t** argv, SimOptions& opt, std::wstring& strError) {
    for (int i = 1; i < argc; ++i) {
        std::wstring a = argv[i];
        auto value = [&](std::wstring& out) {
            if (i + 1 >= argc) {
                strError = a + L" needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        std::wstring v;
        double d = 0;
        if (a == L"--help" || a == L"-h") {
            opt.bHelp = true;
        } else if (a == L"--scenario") {
            if (!value(opt.strScenario)) return false;
        } else if (a == L"--log") {
            if (!value(opt.strLog)) return false;
        } else if (a == L"--user") {
            if (!value(opt.strUser)) return false;
            if (opt.strUser.empty() || opt.strUser.find_first_of(L" \t") != std::wstring::npos) {
                strError = L"--user needs a handle without blanks";
                return false;
            }
        } else if (a == L"--refuse-attach") {
            opt.bRefuseAttach = true;
        } else if (a == L"--refuse-commands") {
            opt.bRefuseCommands = true;
        } else if (a == L"--announce") {
            opt.bAnnounce = true;
        } else if (a == L"--no-duration") {
            opt.bNoDuration = true;
        } else if (a == L"--quiet-attach") {
            opt.bQuietAttach = true;
        } else if (a == L"--verbose") {
            opt.bVerbose = true;
        } else if (a == L"--stream") {
            opt.bStream = true;
        } else if (a == L"--mic" || a == L"--remote" || a == L"--remote2") {
            if (!value(v)) return false;
            if (!ParseSourceDesc(v, a == L"--mic" ? opt.mic : a == L"--remote" ? opt.remote : opt.remote2, strError))
                return false;
        } else if (a == L"--mic-start" || a == L"--remote-start") {
            if (!value(v)) return false;
            if (!ParseNumber(v, 0, 1e6, d)) {
                strError = a + L" needs a number of seconds";
                return false;
            }
            (a == L"--mic-start" ? opt.dMicStart : opt.dRemoteStart) = d;
        } else if (a == L"--mic-ppm" || a == L"--remote-ppm") {
            if (!value(v)) return false;
            if (!ParseNumber(v, -100000, 100000, d)) {
                strError = a + L" needs parts per million from -100000 to 100000";
                return false;
            }
            (a == L"--mic-ppm" ? opt.dMicPpm : opt.dRemotePpm) = d;
        } else if (a == L"--mic2-gain") {
            if (!value(v)) return false;
            if (!ParseNumber(v, 0, 10, d)) {
                strError = L"--mic2-gain needs a factor from 0 to 10";
                return false;
            }
            opt.dMic2Gain = d;
        } else if (a == L"--mic2-lag-ms") {
            if (!value(v)) return false;
            if (!ParseNumber(v, 0, 1000, d)) {
                strError = L"--mic2-lag-ms needs milliseconds from 0 to 1000";
                return false;
            }
            opt.dMic2LagMs = d;
        } else if (a == L"--mic-stall" || a == L"--remote-stall" || a == L"--second-call" || a == L"--mic-holdup" ||
                   a == L"--remote-holdup") {
            if (!value(v)) return false;
            size_t colon = v.find(L':');
            double dAt = 0, dFor = 0;
            if (colon == std::wstring::npos || !ParseNumber(v.substr(0, colon), 0, 1e6, dAt) ||
                !ParseNumber(v.substr(colon + 1), 0.01, 1e6, dFor)) {
                strError = a + L" needs AT:FOR in seconds";
                return false;
            }
            if (a == L"--mic-stall") {
                opt.dMicStallAt = dAt;
                opt.dMicStallFor = dFor;
            } else if (a == L"--remote-stall") {
                opt.dRemoteStallAt = dAt;
                opt.dRemoteStallFor = dFor;
            } else if (a == L"--mic-holdup") {
                opt.dMicHoldAt = dAt;
                opt.dMicHoldFor = dFor;
            } else if (a == L"--remote-holdup") {
                opt.dRemoteHoldAt = dAt;
                opt.dRemoteHoldFor = dFor;
            } else {
                opt.dSecondAt = dAt;
                opt.dSecondFor = dFor;
            }
        } else if (a == L"--speed") {
            if (!value(v)) return false;
            if (v == L"max")
                opt.dSpeed = 0;
            else if (ParseNumber(v, 0.01, 100000, d))
                opt.dSpeed = d;
            else {
                strError = L"--speed needs a factor from 0.01 to 100000, or max";
                return false;
            }
        } else if (a == L"--quit-after") {
            if (!value(v)) return false;
            if (!ParseNumber(v, 0.001, 1e7, d)) {
                strError = L"--quit-after needs a positive number of seconds";
                return false;
            }
            opt.dQuitAfter = d;
        } else if (a == L"--seconds") {
            if (!value(v)) return false;
            if (!ParseNumber(v, 0.01, 1e6, d)) {
                strError = L"--seconds needs a positive number";
                return false;
            }
            opt.dSeconds = d;
        } else if (a == L"--mic-port" || a == L"--remote-port") {
            if (!value(v)) return false;
            if (!ParseNumber(v, 0, 65535, d) || d != std::floor(d)) {
                strError = a + L" needs a port number from 0 to 65535";
                return false;
            }
            (a == L"--mic-port" ? opt.nMicPort : opt.nRemotePort) = static_cast<int>(d);
        } else {
            strError = L"unknown option '" + a + L"'";
            return false;
        }
    }
    if (opt.bStream && !opt.strScenario.empty()) {
        strError = L"--stream and --scenario do not go together";
        return false;
    }
    return true;
}
