// The MP3 writer alone: 10 minutes of 16 kHz stereo PCM through CMp3File
// (stereo, 32 kHz out, 64 kbit/s), fed in 10 ms pieces as the mixer does.
// The PCM is also left in bench_pcm.raw so the lame command can take the same input.
#include <windows.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "audiofile/Mp3File.h"
#include "base/Notifier.h"

namespace {

double ThreadCpu() {
    FILETIME c, e, k, u;
    ::GetThreadTimes(::GetCurrentThread(), &c, &e, &k, &u);
    auto secs = [](FILETIME ft) {
        return static_cast<double>((static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime) / 1e7;
    };
    return secs(k) + secs(u);
}

double Now() {
    LARGE_INTEGER f, t;
    ::QueryPerformanceFrequency(&f);
    ::QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(f.QuadPart);
}

// Speech-like enough to keep the encoder busy: two tones with a slow tremolo and noise.
std::vector<int16_t> MakePcm(int nSeconds) {
    std::vector<int16_t> pcm(static_cast<size_t>(nSeconds) * 16000 * 2);
    uint32_t seed = 12345;
    for (size_t i = 0; i < pcm.size() / 2; ++i) {
        double t = static_cast<double>(i) / 16000.0;
        double env = 0.5 + 0.5 * std::sin(2 * 3.141592653589793 * 0.7 * t);
        seed = seed * 1664525u + 1013904223u;
        int noise = static_cast<int>(seed >> 22) - 512;
        pcm[2 * i] = static_cast<int16_t>(env * 7000 * std::sin(2 * 3.141592653589793 * 440 * t) + noise);
        pcm[2 * i + 1] = static_cast<int16_t>(env * 7000 * std::sin(2 * 3.141592653589793 * 1000 * t) + noise);
    }
    return pcm;
}

}  // namespace

int main() {
    SetNotifier([](HWND, const std::wstring&, const std::wstring&, UINT) { return IDOK; });
    const int nSeconds = 600;
    std::vector<int16_t> pcm = MakePcm(nSeconds);
    if (FILE* f = std::fopen("bench_pcm.raw", "wb")) {
        std::fwrite(pcm.data(), 2, pcm.size(), f);
        std::fclose(f);
    }
    CMp3File file;
    double t0 = Now(), c0 = ThreadCpu();
    if (!file.Open(L"bench_writer.mp3", MP3_CHANNEL_STEREO, 32000, 64)) {
        std::printf("mp3_writer_error: open failed\n");
        return 1;
    }
    CBuffer piece;
    piece.m_nSize = 640;
    for (size_t pos = 0; pos + 320 <= pcm.size(); pos += 320) {
        piece.m_pData = reinterpret_cast<uint8_t*>(&pcm[pos]);
        file.Write(&piece);
    }
    file.Close();
    double dSeconds = Now() - t0, dCpu = ThreadCpu() - c0;
    std::printf("mp3_writer_seconds: %.3f\n", dSeconds);
    std::printf("mp3_writer_cpu_seconds: %.3f\n", dCpu);
    std::printf("mp3_writer_times_realtime: %.1f\n", nSeconds / dSeconds);
    return 0;
}
