#include "AudioSource.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cwchar>
#include <numbers>

#include "SimLog.h"
#include "base/StringUtil.h"

namespace {

bool ParseDouble(const std::wstring& s, double& d) {
    if (s.empty()) return false;
    wchar_t* end = nullptr;
    d = wcstod(s.c_str(), &end);
    return end && *end == 0 && std::isfinite(d);
}

uint32_t Le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

}  // namespace

bool ParseSourceDesc(const std::wstring& strText, SimSourceDesc& sourceDesc, std::wstring& strError) {
    sourceDesc = SimSourceDesc();
    if (strText == L"silence") {
        sourceDesc.eKind = SOURCE_SILENCE;
        return true;
    }
    if (strText.rfind(L"wav:", 0) == 0) {
        sourceDesc.eKind = SOURCE_WAV;
        sourceDesc.strPath = strText.substr(4);
        std::vector<int16_t> samples;
        return LoadWav16kMono(sourceDesc.strPath, samples, strError);
    }
    const bool bBurst = strText.rfind(L"burst:", 0) == 0;
    if (strText.rfind(L"tone:", 0) == 0 || bBurst) {
        std::wstring rest = strText.substr(bBurst ? 6 : 5);
        std::wstring freq = rest, ampl;
        size_t colon = rest.find(L':');
        if (colon != std::wstring::npos) {
            freq = rest.substr(0, colon);
            ampl = rest.substr(colon + 1);
        }
        double d = 0;
        if (!ParseDouble(freq, d) || d < 0 || d > SIM_SAMPLE_RATE / 2) {
            strError = L"bad tone frequency in '" + strText + L"' (0 to 8000 Hz)";
            return false;
        }
        sourceDesc.dFrequency = d;
        if (!ampl.empty()) {
            double a = 0;
            if (!ParseDouble(ampl, a) || a < 0 || a > 32767 || a != std::floor(a)) {
                strError = L"bad tone amplitude in '" + strText + L"' (0 to 32767)";
                return false;
            }
            sourceDesc.nAmplitude = static_cast<int>(a);
        }
        sourceDesc.eKind = bBurst ? SOURCE_BURST : SOURCE_TONE;
        return true;
    }
    strError = L"unknown audio source '" + strText + L"' (tone:FREQ[:AMPLITUDE], burst:FREQ[:AMPLITUDE], silence, wav:PATH)";
    return false;
}

std::unique_ptr<CAudioSource> CAudioSource::Create(const SimSourceDesc& sourceDesc, std::wstring& strError) {
    std::unique_ptr<CAudioSource> p(new CAudioSource());
    p->m_desc = sourceDesc;
    if (sourceDesc.eKind == SOURCE_WAV && !LoadWav16kMono(sourceDesc.strPath, p->m_samples, strError)) return nullptr;
    return p;
}

void CAudioSource::NextBlock(uint8_t* pBlock) {
    const uint64_t nLag = static_cast<uint64_t>(std::lround(m_desc.dLagMs * SIM_SAMPLE_RATE / 1000));
    for (int i = 0; i < SIM_BLOCK_SAMPLES; ++i, ++m_nSample) {
        int v = 0;
        // A lagging copy carries the sound of nLag samples earlier; before its start, silence.
        const bool bSound = m_nSample >= nLag;
        const uint64_t n = m_nSample - (bSound ? nLag : 0);
        if (bSound && (m_desc.eKind == SOURCE_TONE ||
                       (m_desc.eKind == SOURCE_BURST && n % SIM_SAMPLE_RATE < SIM_BURST_SAMPLES))) {
            // The phase is taken modulo one period of the sample clock so that it
            // stays exact however long the stream runs.
            double t = static_cast<double>(n % SIM_SAMPLE_RATE) / SIM_SAMPLE_RATE;
            double whole = std::floor(m_desc.dFrequency);
            double frac = m_desc.dFrequency - whole;
            double phase = std::fmod(whole * t, 1.0) + frac * (static_cast<double>(n) / SIM_SAMPLE_RATE);
            v = static_cast<int>(std::lround(m_desc.nAmplitude * std::sin(2 * std::numbers::pi * phase)));
        } else if (bSound && m_desc.eKind == SOURCE_WAV && n < m_samples.size()) {
            v = m_samples[n];
        }
        if (m_desc.dGain != 1.0)
            v = static_cast<int>(std::clamp(std::lround(v * m_desc.dGain), -32768L, 32767L));
        pBlock[2 * i] = static_cast<uint8_t>(v & 0xFF);
        pBlock[2 * i + 1] = static_cast<uint8_t>((v >> 8) & 0xFF);
    }
}

bool LoadWav16kMono(const std::wstring& strPath, std::vector<int16_t>& samples, std::wstring& strError) {
    FILE* f = _wfopen(SimPath(strPath).c_str(), L"rb");
    if (!f) {
        strError = L"cannot open WAV file '" + strPath + L"'";
        return false;
    }
    std::vector<uint8_t> data;
    uint8_t buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) data.insert(data.end(), buf, buf + n);
    fclose(f);
    if (data.size() < 12 || memcmp(data.data(), "RIFF", 4) != 0 || memcmp(data.data() + 8, "WAVE", 4) != 0) {
        strError = L"'" + strPath + L"' is not a RIFF/WAVE file";
        return false;
    }
    bool bFmt = false;
    size_t pos = 12;
    while (pos + 8 <= data.size()) {
        uint32_t size = Le32(data.data() + pos + 4);
        const uint8_t* body = data.data() + pos + 8;
        size_t avail = data.size() - pos - 8;
        if (memcmp(data.data() + pos, "fmt ", 4) == 0) {
            if (size < 16 || avail < 16) break;
            uint16_t tag = Le16(body), channels = Le16(body + 2), bits = Le16(body + 14);
            uint32_t rate = Le32(body + 4);
            // WAVE_FORMAT_EXTENSIBLE carries PCM too; its sub-format is not checked further.
            if ((tag != 1 && tag != 0xFFFE) || channels != 1 || rate != SIM_SAMPLE_RATE || bits != 16) {
                strError = FormatW(L"'%ls' is format %u, %u channel(s), %u Hz, %u bit: need PCM, 1 channel, 16000 Hz, 16 bit",
                                   strPath.c_str(), tag, channels, rate, bits);
                return false;
            }
            bFmt = true;
        } else if (memcmp(data.data() + pos, "data", 4) == 0) {
            if (!bFmt) break;
            // A data chunk that claims more than the file holds (sox writing to a pipe) is read to the end.
            size_t bytes = size > avail ? avail : size;
            samples.resize(bytes / 2);
            for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int16_t>(Le16(body + 2 * i));
            return true;
        }
        pos += 8 + size + (size & 1);
    }
    strError = L"'" + strPath + L"' has no usable fmt and data chunks";
    return false;
}
