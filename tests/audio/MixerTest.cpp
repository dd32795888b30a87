#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "audio/Mixer.h"
#include "RecordingWriter.h"

namespace {

struct CBlock : CBuffer {
    explicit CBlock(std::vector<uint8_t> bytes) : m_bytes(std::move(bytes)) {
        m_pData = m_bytes.data();
        m_nSize = static_cast<int>(m_bytes.size());
    }
    std::vector<uint8_t> m_bytes;
};

int16_t At(const CBuffer& b, int i) {
    int16_t s;
    std::memcpy(&s, b.m_pData + 2 * i, 2);
    return s;
}

}  // namespace

TEST(Mixer, MonoPairSumsAndClampsAtBothEnds) {
    CBlock loudUp(FlatBlock(30000)), up(FlatBlock(10000)), loudDown(FlatBlock(-30000)), down(FlatBlock(-10000));
    std::unique_ptr<CBuffer> high(MixPair(loudUp, up, false));
    std::unique_ptr<CBuffer> low(MixPair(loudDown, down, false));
    ASSERT_EQ(high->m_nSize, 320);
    for (int k = 0; k < 160; ++k) {
        EXPECT_EQ(At(*high, k), 32767);
        EXPECT_EQ(At(*low, k), -32768);
    }
    CBlock a(RampBlock(-80)), b(RampBlock(1000));
    std::unique_ptr<CBuffer> sum(MixPair(a, b, false));
    for (int k = 0; k < 160; ++k) EXPECT_EQ(At(*sum, k), (-80 + k) + (1000 + k));
}

TEST(Mixer, StereoPairPutsMySideFirst) {
    CBlock mic(RampBlock(100)), remote(RampBlock(-5000));
    std::unique_ptr<CBuffer> out(MixPair(mic, remote, true));
    ASSERT_EQ(out->m_nSize, 640);
    EXPECT_TRUE(out->m_bOwnData);
    for (int k = 0; k < 160; ++k) {
        EXPECT_EQ(At(*out, 2 * k), 100 + k);
        EXPECT_EQ(At(*out, 2 * k + 1), -5000 + k);
    }
}

TEST(Mixer, StereoSingleIsSilenceThenTheBlock) {
    CBlock block(RampBlock(7));
    std::unique_ptr<CBuffer> out(MixSingleStereo(block));
    ASSERT_EQ(out->m_nSize, 640);
    for (int k = 0; k < 160; ++k) {
        EXPECT_EQ(At(*out, 2 * k), 0);
        EXPECT_EQ(At(*out, 2 * k + 1), 7 + k);
    }
}
