// The player against the real MCIWnd media window decoding a real MP3 file.
#include <gtest/gtest.h>
#include <windows.h>

#include <vfw.h>

#include "history/EasyPlayer.h"
#include "historyui/TestSupport.h"

namespace {

class PlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_hHost = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                    ::GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(m_hHost, nullptr);
        m_player.SetParentWindow(m_hHost);
    }
    void TearDown() override {
        m_player.Destroy();
        ::DestroyWindow(m_hHost);
    }
    HWND m_hHost = nullptr;
    CEasyPlayer m_player;
};

}  // namespace

TEST_F(PlayerTest, EmptyFileNameMakesAMediaWindowWithoutMedia) {
    HWND hMedia = m_player.CreateMediaWindow();
    ASSERT_NE(hMedia, nullptr);
    EXPECT_EQ(::GetParent(hMedia), m_hHost);
    EXPECT_EQ(m_player.GetLength(), 0);
    EXPECT_EQ(m_player.GetPosition(), 0);
    m_player.Play();
    PumpMessages(100);
    EXPECT_FALSE(m_player.HasPlayedToEnd(true)) << "nothing to play never counts as played";
    m_player.SetVolume(1000);
}

TEST_F(PlayerTest, PlaysPausesSeeksAndReachesTheEnd) {
    m_player.SetFileName(DataFile(L"tone.mp3"));
    HWND hMedia = m_player.CreateMediaWindow();
    ASSERT_NE(hMedia, nullptr);
    LONG nLength = m_player.GetLength();
    ASSERT_GT(nLength, 1000) << "1.5 s of MP3, in milliseconds";
    EXPECT_LT(nLength, 2000);
    m_player.Seek(0);
    // Where seeking is done by play-and-pause the media may have run a millisecond.
    EXPECT_LT(m_player.GetPosition(), 50);
    m_player.SetVolume(300);
    m_player.Play();
    ASSERT_TRUE(PumpUntil([&] { return m_player.GetPosition() > 200; }, 3000));
    m_player.Pause();
    PumpMessages(100);
    LONG nPaused = m_player.GetPosition();
    PumpMessages(400);
    EXPECT_LE(m_player.GetPosition() - nPaused, 50) << "paused media does not advance";
    EXPECT_FALSE(m_player.HasPlayedToEnd(true)) << "paused in the middle";
    m_player.Play();
    LONG nLast = 0;
    const DWORD dwResumed = ::GetTickCount();
    EXPECT_TRUE(PumpUntil(
        [&] {
            if (m_player.GetMode() == MCI_MODE_PLAY) nLast = m_player.GetPosition();
            // Right after the play command the media may still read as stopped.
            return m_player.HasPlayedToEnd(::GetTickCount() - dwResumed > 600);
        },
        4000));
    EXPECT_GT(nLast, nLength - 500) << "the position advanced close to the end while playing";
    m_player.Stop();
    m_player.Seek(0);
    EXPECT_LT(m_player.GetPosition(), 50);
}

TEST_F(PlayerTest, OpeningAnotherRecordingLeavesTheEarlierWindowWithoutMedia) {
    m_player.SetFileName(DataFile(L"tone.mp3"));
    HWND hFirst = m_player.CreateMediaWindow();
    ASSERT_GT(m_player.GetLength(), 0);
    m_player.Play();
    m_player.Stop();
    m_player.CloseMedia();
    EXPECT_EQ(::SendMessageW(hFirst, MCIWNDM_GETLENGTH, 0, 0), 0);

    m_player.SetFileName(DataFile(L"tone3s.mp3"));
    HWND hSecond = m_player.CreateMediaWindow();
    ASSERT_NE(hSecond, nullptr);
    EXPECT_NE(hSecond, hFirst);
    EXPECT_EQ(m_player.GetMediaWindow(), hSecond);
    EXPECT_GT(m_player.GetLength(), 2500);
    EXPECT_EQ(m_player.GetPosition(), 0);
    EXPECT_TRUE(::IsWindow(hFirst)) << "the earlier window stays as a hidden child";
}

TEST_F(PlayerTest, DestroyClosesTheMediaWindowAndForgetsTheFile) {
    m_player.SetFileName(DataFile(L"tone.mp3"));
    HWND hMedia = m_player.CreateMediaWindow();
    ASSERT_TRUE(::IsWindow(hMedia));
    m_player.Destroy();
    EXPECT_FALSE(::IsWindow(hMedia));
    EXPECT_EQ(m_player.GetMediaWindow(), nullptr);
    EXPECT_TRUE(m_player.GetFileName().empty());
}

TEST_F(PlayerTest, SeekHoldsTheNewPositionUntilPlayedAgain) {
    m_player.SetFileName(DataFile(L"tone3s.mp3"));
    m_player.CreateMediaWindow();
    m_player.Play();
    PumpMessages(400);
    m_player.Pause();
    m_player.Seek(2000);
    EXPECT_NEAR(m_player.GetPosition(), 2000, 150);
    PumpMessages(300);
    EXPECT_NEAR(m_player.GetPosition(), 2000, 150) << "a seek does not start playback";
    m_player.Play();
    PumpMessages(300);
    EXPECT_GT(m_player.GetPosition(), 2100);
    m_player.Stop();
    m_player.Seek(0);
    EXPECT_LT(m_player.GetPosition(), 150);
    m_player.Seek(1000);
    EXPECT_NEAR(m_player.GetPosition(), 1000, 150);
}
