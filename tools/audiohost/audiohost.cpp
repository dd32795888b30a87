// audiohost: the recording engine on its own.
//   audiohost record --out PATH [--mode M] [--rate HZ] [--kbps K] [--recside S]
//                    [--blocks N] [--idle-ms MS] [--timeout S] [--ready FILE]
//                    [--self-stream SECONDS] [--speed N|max] [--mic-freq F] [--remote-freq F]
//                    [--die-after S] [--total N]
//     Starts both loopback servers and a recording into PATH.mp3, waits until N
//     blocks per recorded side have arrived (or no block came for MS after the
//     first), stops and prints "name: value" lines. --ready FILE is created once
//     the servers listen. --self-stream also streams tones to the ports itself.
//     --total N stops once N blocks of both sides together have arrived.
//     --die-after ends the process S seconds after the first block, as a kill
//     would: nothing is stopped or closed.
//   audiohost encode --out FILE [--mode M] [--rate HZ] [--kbps K] [--seconds S]
//     Writes tones straight through the MP3 writer (440 Hz first channel,
//     1000 Hz second; mono: 440 Hz).
#include <winsock2.h>
#include <windows.h>
#include <psapi.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <thread>
#include <vector>

#include "audio/AudioServer.h"
#include "audiofile/Mp3File.h"
#include "base/Notifier.h"
#include "base/StringUtil.h"

namespace {

struct COptions {
    std::wstring strCommand;
    std::wstring strOut;
    std::wstring strReady;
    int nMode = 1;
    int nRate = 32000;
    int nKbps = 64;
    int nRecordSide = 0;
    long long nBlocks = 0;
    int nIdleMs = 3000;
    int nTimeout = 600;
    double dSeconds = 3;
    double dSelfStream = 0;
    double dSpeed = 1;  // 0: as fast as the socket takes it
    double dMicFreq = 440;
    double dRemoteFreq = 1000;
    double dDieAfter = 0;
    long long nTotal = 0;
};

bool ParseOptions(int argc, wchar_t** argv, COptions& opt) {
    if (argc < 2) return false;
    opt.strCommand = argv[1];
    for (int i = 2; i + 1 < argc; i += 2) {
        std::wstring name = argv[i], value = argv[i + 1];
        if (name == L"--out") opt.strOut = value;
        else if (name == L"--ready") opt.strReady = value;
        else if (name == L"--mode") opt.nMode = _wtoi(value.c_str());
        else if (name == L"--rate") opt.nRate = _wtoi(value.c_str());
        else if (name == L"--kbps") opt.nKbps = _wtoi(value.c_str());
        else if (name == L"--recside") opt.nRecordSide = _wtoi(value.c_str());
        else if (name == L"--blocks") opt.nBlocks = _wtoi64(value.c_str());
        else if (name == L"--idle-ms") opt.nIdleMs = _wtoi(value.c_str());
        else if (name == L"--timeout") opt.nTimeout = _wtoi(value.c_str());
        else if (name == L"--seconds") opt.dSeconds = _wtof(value.c_str());
        else if (name == L"--self-stream") opt.dSelfStream = _wtof(value.c_str());
        else if (name == L"--speed") opt.dSpeed = value == L"max" ? 0 : _wtof(value.c_str());
        else if (name == L"--mic-freq") opt.dMicFreq = _wtof(value.c_str());
        else if (name == L"--remote-freq") opt.dRemoteFreq = _wtof(value.c_str());
        else if (name == L"--die-after") opt.dDieAfter = _wtof(value.c_str());
        else if (name == L"--total") opt.nTotal = _wtoi64(value.c_str());
        else return false;
    }
    return !opt.strOut.empty();
}

int16_t ToneSample(double dFreq, long long i) {
    return static_cast<int16_t>(8000 * std::sin(2 * 3.141592653589793 * dFreq * static_cast<double>(i) / 16000.0));
}

double Now() {
    static LARGE_INTEGER freq = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(freq.QuadPart);
}

// One side's stream of a tone, paced at dSpeed times real time (0: flat out).
void StreamTone(u_short nPort, double dFreq, double dSeconds, double dSpeed, std::atomic<long long>& nSent) {
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
    BOOL bNoDelay = TRUE;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<char*>(&bNoDelay), sizeof(bNoDelay));
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_port = ::htons(nPort);
    addr.sin_addr.s_addr = ::inet_addr("127.0.0.1");
    if (::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
        ::closesocket(s);
        return;
    }
    long long nBlocks = static_cast<long long>(dSeconds * 100 + 0.5);
    int16_t block[160];
    double dStart = Now();
    for (long long b = 0; b < nBlocks; ++b) {
        for (int k = 0; k < 160; ++k) block[k] = ToneSample(dFreq, b * 160 + k);
        if (dSpeed > 0) {
            double dDue = dStart + b * 0.01 / dSpeed;
            double dWait = dDue - Now();
            if (dWait > 0.002) ::Sleep(static_cast<DWORD>(dWait * 1000));
        }
        if (::send(s, reinterpret_cast<char*>(block), 320, 0) != 320) break;
        ++nSent;
    }
    ::shutdown(s, SD_SEND);
    ::closesocket(s);
}

double CpuSeconds() {
    FILETIME ftCreate, ftExit, ftKernel, ftUser;
    ::GetProcessTimes(::GetCurrentProcess(), &ftCreate, &ftExit, &ftKernel, &ftUser);
    auto secs = [](FILETIME ft) {
        return static_cast<double>((static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime) / 1e7;
    };
    return secs(ftKernel) + secs(ftUser);
}

int Record(const COptions& opt) {
    // Boxes would block a headless run: print them instead.
    SetNotifier([](HWND, const std::wstring& text, const std::wstring& caption, UINT) {
        std::printf("box: %s: %s\n", WideToUtf8(caption).c_str(), WideToUtf8(text).c_str());
        return IDOK;
    });
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
    CAudioServer* pServer = CAudioServer::GetInstance();
    if (!pServer) return 3;
    bool bMic = pServer->StartMicServer();
    bool bRemote = pServer->StartRemoteServer();
    if (!bMic || !bRemote) {
        std::printf("error: servers did not start\n");
        CAudioServer::DestroyInstance();
        return 3;
    }
    pServer->StartRecording(opt.strOut.c_str(), opt.nRate, opt.nKbps, opt.nMode, opt.nRecordSide);
    pServer->SetRecordState(RECSTATE_RECORDING);
    CRecorder* pRecorder = pServer->GetRecorder();
    if (!pRecorder->IsActive()) {
        std::printf("error: recording did not start\n");
        CAudioServer::DestroyInstance();
        return 4;
    }
    if (!opt.strReady.empty()) {
        FILE* f = _wfopen(opt.strReady.c_str(), L"w");
        if (f) std::fclose(f);
    }
    std::atomic<long long> nSentMic{0}, nSentRemote{0};
    std::vector<std::thread> streams;
    if (opt.dSelfStream > 0) {
        if (opt.nRecordSide != RECSIDE_REMOTE)
            streams.emplace_back(StreamTone, AUDIO_MIC_PORT, opt.dMicFreq, opt.dSelfStream, opt.dSpeed, std::ref(nSentMic));
        if (opt.nRecordSide != RECSIDE_MINE)
            streams.emplace_back(StreamTone, AUDIO_REMOTE_PORT, opt.dRemoteFreq, opt.dSelfStream, opt.dSpeed,
                                 std::ref(nSentRemote));
    }
    const bool bWantMic = opt.nRecordSide == RECSIDE_BOTH || opt.nRecordSide == RECSIDE_MINE;
    const bool bWantRemote = opt.nRecordSide != RECSIDE_MINE;
    long long nExpected = opt.nBlocks > 0 ? opt.nBlocks : static_cast<long long>(opt.dSelfStream * 100 + 0.5);
    double dStart = Now(), dFirst = 0, dLast = 0, dLagMax = 0, dLastLagCheck = 0;
    unsigned long long nSeen = 0;
    std::wstring strFile = opt.strOut + L".mp3";
    for (;;) {
        unsigned long long nMic = pRecorder->GetMicBlocksQueued(), nRemote = pRecorder->GetRemoteBlocksQueued();
        double t = Now();
        if (nMic + nRemote != nSeen) {
            if (nSeen == 0) dFirst = t;
            nSeen = nMic + nRemote;
            dLast = t;
        }
        if (nSeen > 0 && opt.dDieAfter > 0 && t - dFirst >= opt.dDieAfter) {
            std::printf("died_after_seconds: %.3f\n", t - dFirst);
            std::fflush(stdout);
            ::TerminateProcess(::GetCurrentProcess(), 9);
        }
        // How far the file is behind the call: the audio it holds against the time since the first block.
        if (nSeen > 0 && t - dLastLagCheck >= 0.05) {
            dLastLagCheck = t;
            WIN32_FILE_ATTRIBUTE_DATA data;
            if (::GetFileAttributesExW(strFile.c_str(), GetFileExInfoStandard, &data)) {
                double dHeld = static_cast<double>(data.nFileSizeLow) * 8 / (opt.nKbps * 1000.0);
                if (t - dFirst - dHeld > dLagMax) dLagMax = t - dFirst - dHeld;
            }
        }
        bool bDone = nExpected > 0 && (!bWantMic || static_cast<long long>(nMic) >= nExpected) &&
                     (!bWantRemote || static_cast<long long>(nRemote) >= nExpected);
        if (opt.nTotal > 0) bDone = static_cast<long long>(nMic + nRemote) >= opt.nTotal;
        if (bDone) break;
        if (nSeen > 0 && (t - dLast) * 1000 > opt.nIdleMs) break;
        if (t - dStart > opt.nTimeout) break;
        // Each look costs this process CPU that the recorder's figures would carry:
        // look often only near the end, where it sets the timings.
        DWORD dwPoll = 10;
        long long nTarget = opt.nTotal > 0 ? opt.nTotal : nExpected * ((bWantMic ? 1 : 0) + (bWantRemote ? 1 : 0));
        double dRate = t > dFirst ? static_cast<double>(nSeen) / (t - dFirst) : 0;
        if (nSeen > 0 && nTarget > 0 && dRate > 0 && (static_cast<double>(nTarget) - static_cast<double>(nSeen)) / dRate > 1.0)
            dwPoll = 500;
        ::Sleep(dwPoll);
    }
    double dReceived = Now();
    pRecorder->Stop();
    pServer->SetRecordState(RECSTATE_STOPPED);
    double dClosed = Now();
    for (auto& t : streams) t.join();

    PROCESS_MEMORY_COUNTERS pmc = {};
    pmc.cb = sizeof(pmc);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &pmc, sizeof(pmc));
    std::printf("blocks_mic: %llu\n", static_cast<unsigned long long>(pRecorder->GetMicBlocksQueued()));
    std::printf("blocks_remote: %llu\n", static_cast<unsigned long long>(pRecorder->GetRemoteBlocksQueued()));
    std::printf("blocks_written: %llu\n", static_cast<unsigned long long>(pRecorder->GetBlocksWritten()));
    std::printf("blocks_dropped: %llu\n", static_cast<unsigned long long>(pRecorder->GetBlocksDropped()));
    std::printf("file_lag_seconds_max: %.3f\n", dLagMax);
    std::printf("failed_file_seconds: %d\n", pRecorder->GetFailedFileSeconds());
    if (opt.dSelfStream > 0)
        std::printf("blocks_sent: %lld\n", static_cast<long long>(nSentMic + nSentRemote));
    std::printf("first_block_to_last_block_seconds: %.3f\n", nSeen ? dLast - dFirst : 0.0);
    std::printf("first_block_to_closed_seconds: %.3f\n", nSeen ? dClosed - dFirst : 0.0);
    std::printf("drain_seconds: %.3f\n", dClosed - dReceived);
    std::printf("cpu_seconds: %.3f\n", CpuSeconds());
    std::printf("peak_working_set_mb: %.1f\n", pmc.PeakWorkingSetSize / 1048576.0);
    std::printf("peak_private_mb: %.1f\n", pmc.PeakPagefileUsage / 1048576.0);
    std::printf("pool_blocks: %zu\n", pRecorder->GetPoolBlocks());
    std::fflush(stdout);
    CAudioServer::DestroyInstance();
    ::WSACleanup();
    return 0;
}

int Encode(const COptions& opt) {
    SetNotifier([](HWND, const std::wstring& text, const std::wstring&, UINT) {
        std::printf("box: %s\n", WideToUtf8(text).c_str());
        return IDOK;
    });
    CMp3File file;
    if (!file.Open(opt.strOut.c_str(), opt.nMode, opt.nRate, opt.nKbps)) {
        std::printf("error: open failed\n");
        return 4;
    }
    int nChannels = file.GetChannels();
    long long nBlocks = static_cast<long long>(opt.dSeconds * 100 + 0.5);
    CBuffer buffer(320 * nChannels);
    for (long long b = 0; b < nBlocks; ++b) {
        for (int k = 0; k < 160; ++k) {
            long long i = b * 160 + k;
            if (nChannels == 2) {
                buffer.Samples()[2 * k] = ToneSample(opt.dMicFreq, i);
                buffer.Samples()[2 * k + 1] = ToneSample(opt.dRemoteFreq, i);
            } else {
                buffer.Samples()[k] = ToneSample(opt.dMicFreq, i);
            }
        }
        if (!file.Write(&buffer)) {
            std::printf("error: write failed %lu\n", ::GetLastError());
            return 5;
        }
    }
    file.Close();
    std::printf("blocks_written: %lld\n", nBlocks);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    COptions opt;
    if (!ParseOptions(argc, argv, opt)) {
        std::fprintf(stderr, "usage: audiohost record|encode --out PATH [options]\n");
        return 2;
    }
    if (opt.strCommand == L"record") return Record(opt);
    if (opt.strCommand == L"encode") return Encode(opt);
    std::fprintf(stderr, "unknown command\n");
    return 2;
}
