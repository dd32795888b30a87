#pragma once
// TCP keeps no write boundaries: one connection's bytes are cut here into
// consecutive 320-byte blocks, carrying a partial block over to the next read.
#include <cstdint>

#include "audio/AudioBlock.h"
#include "audio/SocketServer.h"

// Whole blocks one pass over a connection can complete: the carried part plus
// all it may read.
constexpr int CUTTER_MAX_BLOCKS = (AUDIO_BLOCK_BYTES - 1 + SOCKSRV_PASS_BYTES) / AUDIO_BLOCK_BYTES;

struct CCutBlocks {
    uint8_t data[CUTTER_MAX_BLOCKS * AUDIO_BLOCK_BYTES];
    int nBlocks = 0;
};

class CBlockCutter {
public:
    // Appends nBytes (at most SOCKSRV_PASS_BYTES) and puts the blocks they complete into out.
    void Feed(const uint8_t* pData, int nBytes, CCutBlocks& out);
    int GetCarried() const { return m_nCarried; }
    // When the connection's previous bytes were taken (0: not yet), on the caller's clock.
    int64_t GetLastFeedUs() const { return m_nLastFeedUs; }
    void SetLastFeedUs(int64_t nUs) { m_nLastFeedUs = nUs; }
    void Reset() {
        m_nCarried = 0;
        m_nLastFeedUs = 0;
    }

private:
    uint8_t m_carry[AUDIO_BLOCK_BYTES];
    int m_nCarried = 0;
    int64_t m_nLastFeedUs = 0;
};

// One cutter per connection of a server. As many as the server has connections,
// so a live connection keeps its partial block; one that ended is forgotten
// when its place is needed.
class CBlockCutters {
public:
    CBlockCutter& For(uint32_t nConnection);

private:
    struct CSlot {
        uint32_t nConnection = 0;
        uint64_t nLastUse = 0;
        CBlockCutter cutter;
    };
    CSlot m_slots[SOCKSRV_MAX_SOCKETS];
    uint64_t m_nUses = 0;
};
