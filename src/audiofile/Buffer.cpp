#include "audiofile/Buffer.h"

#include <new>

CBuffer::CBuffer(int nLength) {
    if (nLength > 0) {
        m_pData = new (std::nothrow) uint8_t[nLength];
        if (m_pData) m_nSize = nLength;
    }
    m_bOwnData = true;
}

CBuffer::~CBuffer() {
    if (m_bOwnData) delete[] m_pData;
}
