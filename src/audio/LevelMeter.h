#pragma once
// A side's level for the meter: every sixth read (the first one too), the peak
// of every tenth sample scaled to 0..512, falling by 4 per message when quieter.
// A read that brought several 10 ms blocks counts as that many reads, so the
// meter keeps its pace of one level per 60 ms of audio however reads are grouped.
#include <cstdint>

constexpr int LEVEL_PASSES = 5;  // reads (10 ms blocks) skipped between two level messages
constexpr int LEVEL_FALL = 4;

class CLevelMeter {
public:
    // Takes one read; true when a level is due, which is then put in nLevel.
    bool Feed(const uint8_t* pData, int nBytes, int& nLevel);
    int GetLastLevel() const { return m_nLastLevel; }
    // The side went quiet: level 0, and the next read posts at once.
    void Reset() {
        m_nPass = LEVEL_PASSES;
        m_nLastLevel = 0;
    }

private:
    int m_nPass = LEVEL_PASSES;
    int m_nLastLevel = 0;
};
