#pragma once
// FIFO of block pointers on a ring that only grows, so a steady recording
// queues and unqueues without allocating. Not locked: the owner locks.
#include <cstddef>
#include <vector>

#include "audiofile/Buffer.h"

class CBlockQueue {
public:
    bool Push(CBuffer* pBlock);
    CBuffer* Pop();  // null when empty
    bool IsEmpty() const { return m_nCount == 0; }
    // The i-th entry from the front, i below GetCount().
    CBuffer* At(size_t i) const { return m_ring[(m_nHead + i) % m_ring.size()]; }
    size_t GetCount() const { return m_nCount; }

private:
    std::vector<CBuffer*> m_ring;
    size_t m_nHead = 0;
    size_t m_nCount = 0;
};
