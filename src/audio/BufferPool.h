#pragma once
// A side's reusable 320-byte blocks. It only grows: every block it ever made
// stays with it until the pool is destroyed, so later recordings reuse them.
#include <cstddef>
#include <vector>

#include "audiofile/Buffer.h"
#include "base/Lock.h"

// Blocks made up front: 10.24 s of audio per side.
constexpr int POOL_INITIAL_BLOCKS = 1024;

class CBufferPool {
public:
    explicit CBufferPool(int nInitialBlocks = POOL_INITIAL_BLOCKS);
    ~CBufferPool();
    CBufferPool(const CBufferPool&) = delete;
    CBufferPool& operator=(const CBufferPool&) = delete;

    // A zero-filled block from the free set, or a new one; null only without memory.
    CBuffer* Take();
    // Zero-fills the block and puts it back into the free set.
    void GiveBack(CBuffer* pBlock);

    size_t GetBlockCount();
    size_t GetFreeCount();

private:
    CBuffer* MakeBlock();

    CCriticalSection m_cs;
    std::vector<CBuffer*> m_free;
    std::vector<CBuffer*> m_blocks;
};
