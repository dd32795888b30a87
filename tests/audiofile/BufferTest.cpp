#include <gtest/gtest.h>

#include <cstring>

#include "audiofile/Buffer.h"

TEST(Buffer, SizedBufferOwnsItsBytes) {
    CBuffer buffer(640);
    ASSERT_NE(buffer.m_pData, nullptr);
    EXPECT_EQ(buffer.m_nSize, 640);
    EXPECT_TRUE(buffer.m_bOwnData);
    EXPECT_EQ(buffer.SampleCount(), 320);
    std::memset(buffer.m_pData, 0x5A, 640);  // the whole length is writable
}

TEST(Buffer, SizedBufferOfLengthZeroHoldsNothing) {
    CBuffer buffer(0);
    EXPECT_EQ(buffer.m_pData, nullptr);
    EXPECT_EQ(buffer.m_nSize, 0);
}

TEST(Buffer, EmptyBufferLeavesBorrowedMemoryAlone) {
    uint8_t bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    {
        CBuffer* pBuffer = new CBuffer();
        EXPECT_FALSE(pBuffer->m_bOwnData);
        pBuffer->m_pData = bytes;
        pBuffer->m_nSize = 8;
        EXPECT_EQ(pBuffer->Samples()[0], 0x0201);  // little-endian samples
        delete pBuffer;
    }
    EXPECT_EQ(bytes[7], 8);
}
