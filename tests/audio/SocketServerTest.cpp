#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "AudioTestClient.h"
#include "audio/BlockCutter.h"
#include "audio/LevelMeter.h"
#include "audio/SocketServer.h"

#include <algorithm>
#include <cstring>

namespace {

struct CWinsock {
    CWinsock() {
        WSADATA data;
        ::WSAStartup(MAKEWORD(2, 2), &data);
    }
    ~CWinsock() { ::WSACleanup(); }
};

// A port of its own, away from the two the program uses.
constexpr u_short TEST_PORT = 58391;

}  // namespace

TEST(SocketServer, EmptyTableAnswersNotConnected) {
    CSocketServer server;
    uint8_t buffer[1024];
    long lEvents = -1;
    int nBytes = -1;
    EXPECT_EQ(server.Service(buffer, &lEvents, &nBytes), WSAENOTCONN);
    EXPECT_EQ(lEvents, 0);
    EXPECT_EQ(nBytes, 0);
    EXPECT_EQ(server.CloseAll(), WSAENOTCONN);
}

TEST(SocketServer, ListeningTwiceIsRefused) {
    CSocketServer server;
    ASSERT_EQ(server.Listen(::inet_addr("127.0.0.1"), TEST_PORT), 0);
    EXPECT_EQ(server.Listen(::inet_addr("127.0.0.1"), TEST_PORT), WSAEISCONN);
    EXPECT_EQ(server.GetSocketCount(), 1);
}

TEST(SocketServer, AcceptsReadsAndRemovesAClosedConnection) {
    CWinsock winsock;
    CSocketServer server;
    ASSERT_EQ(server.Listen(::inet_addr("127.0.0.1"), TEST_PORT), 0);
    CTestClient client;
    ASSERT_TRUE(client.Connect(TEST_PORT));
    uint8_t buffer[1024];
    long lEvents = 0;
    int nBytes = 0;
    ASSERT_EQ(server.Service(buffer, &lEvents, &nBytes), 0);
    EXPECT_TRUE(lEvents & FD_ACCEPT);
    EXPECT_EQ(server.GetSocketCount(), 2);

    std::vector<uint8_t> data(700, 0x41);
    ASSERT_TRUE(client.Send(data));
    ::Sleep(50);
    int nTotal = 0;
    uint32_t nConnection = 0, nFirst = 0;
    while (nTotal < 700) {
        ASSERT_EQ(server.Service(buffer, &lEvents, &nBytes, &nConnection), 0);
        if (lEvents & FD_READ) {
            EXPECT_LE(nBytes, 1022);
            nTotal += nBytes;
            if (!nFirst) nFirst = nConnection;
            EXPECT_EQ(nConnection, nFirst);  // one connection, one number
        }
    }
    EXPECT_EQ(nTotal, 700);
    client.Close();
    for (int i = 0; i < 10 && server.GetSocketCount() > 1; ++i) server.Service(buffer, &lEvents, &nBytes);
    EXPECT_EQ(server.GetSocketCount(), 1);
}

TEST(SocketServer, CloseAllWakesABlockedServicePass) {
    CSocketServer server;
    ASSERT_EQ(server.Listen(::inet_addr("127.0.0.1"), TEST_PORT), 0);
    int nFirst = -1, nSecond = -1;
    std::thread service([&] {
        uint8_t buffer[1024];
        long lEvents;
        int nBytes;
        nFirst = server.Service(buffer, &lEvents, &nBytes);  // blocks: nothing happens
        nSecond = server.Service(buffer, &lEvents, &nBytes);
    });
    ::Sleep(100);
    EXPECT_EQ(server.CloseAll(), 0);
    service.join();
    EXPECT_EQ(nFirst, 0);
    EXPECT_EQ(nSecond, WSAENOTCONN);
    EXPECT_TRUE(server.IsEmpty());
}

// A stop can come while the service thread is only starting: both must use one
// wake-up event, or the thread sleeps through the stop and the stop waits forever.
TEST(SocketServer, CloseAllRightAfterTheServiceStartsNeverHangs) {
    for (int nRound = 0; nRound < 300; ++nRound) {
        auto* pServer = new CSocketServer;
        ASSERT_EQ(pServer->Listen(::inet_addr("127.0.0.1"), TEST_PORT), 0);
        std::thread service([pServer] {
            uint8_t buffer[1024];
            long lEvents;
            int nBytes;
            while (pServer->Service(buffer, &lEvents, &nBytes) != WSAENOTCONN) continue;
        });
        std::atomic<bool> bClosed{false};
        std::thread closer([pServer, &bClosed] {
            pServer->CloseAll();
            bClosed = true;
        });
        for (int t = 0; t < 300 && !bClosed; ++t) ::Sleep(10);
        if (!bClosed) {
            closer.detach();  // stuck for good: left behind with the server
            service.detach();
            FAIL() << "CloseAll still waits after 3 s, round " << nRound;
        }
        closer.join();
        service.join();
        delete pServer;
    }
}

TEST(SocketServer, BusyConnectionsAreServedInTurn) {
    CWinsock winsock;
    CSocketServer server;
    ASSERT_EQ(server.Listen(::inet_addr("127.0.0.1"), TEST_PORT), 0);
    CTestClient a, b;
    ASSERT_TRUE(a.Connect(TEST_PORT));
    ASSERT_TRUE(b.Connect(TEST_PORT));
    uint8_t buffer[1024];
    long lEvents = 0;
    int nBytes = 0;
    for (int i = 0; i < 20 && server.GetSocketCount() < 3; ++i) server.Service(buffer, &lEvents, &nBytes);
    ASSERT_EQ(server.GetSocketCount(), 3);
    // Both have far more waiting than one read takes.
    ASSERT_TRUE(a.Send(std::vector<uint8_t>(20000, 0xAA)));
    ASSERT_TRUE(b.Send(std::vector<uint8_t>(20000, 0xBB)));
    ::Sleep(100);
    std::string order;
    while (order.size() < 12) {
        ASSERT_EQ(server.Service(buffer, &lEvents, &nBytes), 0);
        if ((lEvents & FD_READ) && nBytes > 0) {
            EXPECT_EQ(nBytes, 1022);
            order += buffer[0] == 0xAA ? 'a' : 'b';
        }
    }
    EXPECT_TRUE(order == "abababababab" || order == "babababababa") << order;
}

TEST(SocketServer, ClientsThatComeAndGoLeaveNothingBehind) {
    CWinsock winsock;
    CSocketServer server;
    ASSERT_EQ(server.Listen(::inet_addr("127.0.0.1"), TEST_PORT), 0);
    std::atomic<int> nEnd{0};
    std::thread service([&] {
        uint8_t buffer[1024];
        long lEvents;
        int nBytes;
        for (;;) {
            int nResult = server.Service(buffer, &lEvents, &nBytes);
            if (nResult != 0 && nResult != WSAECONNABORTED && nResult != WSAECONNRESET && nResult != WSAECONNREFUSED) {
                nEnd = nResult;
                return;
            }
        }
    });
    std::vector<uint8_t> garbage(3000);
    for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<uint8_t>(i * 7919 + 3);
    auto churn = [&](int nClients) {
        for (int i = 0; i < nClients; ++i) {
            CTestClient c;
            ASSERT_TRUE(c.Connect(TEST_PORT)) << i;
            if (i % 3 != 0) c.Send(garbage.data(), (i * 37) % garbage.size());
            if (i % 2) c.Reset();
            else c.Close();
        }
        for (int i = 0; i < 500 && server.GetSocketCount() > 1; ++i) ::Sleep(10);
        ASSERT_EQ(server.GetSocketCount(), 1);
    };
    // A new handle takes the lowest free slot of the handle table: a socket or an
    // event left open per connection would push it up by hundreds of slots.
    auto freshHandle = [] {
        HANDLE h = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
        ::CloseHandle(h);
        return reinterpret_cast<uintptr_t>(h);
    };
    churn(20);  // the first connections set up what Winsock keeps for the process
    uintptr_t nBefore = freshHandle();
    churn(300);
    uintptr_t nAfter = freshHandle();
    EXPECT_LT(nAfter, nBefore + 20 * sizeof(HANDLE)) << nBefore << " -> " << nAfter;
    EXPECT_EQ(nEnd, 0);  // the service went on throughout
    EXPECT_EQ(server.CloseAll(), 0);
    service.join();
    EXPECT_EQ(nEnd, WSAENOTCONN);
}

TEST(BlockCutter, CutsAnyPiecesIntoConsecutiveBlocks) {
    CBlockCutter cutter;
    CCutBlocks out;
    std::vector<uint8_t> stream(5000);
    for (size_t i = 0; i < stream.size(); ++i) stream[i] = static_cast<uint8_t>(i * 7 + i / 256);
    std::vector<uint8_t> blocks;
    const int pieces[] = {1, 7, 313, 640, 1000, 1022, 200, 440, 1, 319};
    size_t pos = 0;
    for (int i = 0; pos < stream.size(); ++i) {
        int n = pieces[i % 10];
        if (pos + n > stream.size()) n = static_cast<int>(stream.size() - pos);
        cutter.Feed(&stream[pos], n, out);
        blocks.insert(blocks.end(), out.data, out.data + out.nBlocks * 320);
        pos += n;
    }
    ASSERT_EQ(blocks.size(), 5000u / 320 * 320);
    EXPECT_TRUE(std::equal(blocks.begin(), blocks.end(), stream.begin()));
    EXPECT_EQ(cutter.GetCarried(), 5000 % 320);
}

TEST(BlockCutter, OneReadCanCompleteSeveralBlocks) {
    CBlockCutter cutter;
    CCutBlocks out;
    std::vector<uint8_t> bytes(1022, 1);
    cutter.Feed(bytes.data(), 319, out);
    EXPECT_EQ(out.nBlocks, 0);
    cutter.Feed(bytes.data(), 1022, out);  // 319 + 1022 = 4 blocks and 61 over
    EXPECT_EQ(out.nBlocks, 4);
    EXPECT_EQ(cutter.GetCarried(), 61);
    cutter.Feed(bytes.data(), 640, out);
    EXPECT_EQ(out.nBlocks, 2);
}

TEST(LevelMeter, FirstReadPostsThenEverySixth) {
    CLevelMeter meter;
    std::vector<uint8_t> loud(320, 0);
    int16_t nMin = -32768;
    std::memcpy(&loud[0], &nMin, 2);
    int nLevel = -1;
    EXPECT_TRUE(meter.Feed(loud.data(), 320, nLevel));
    EXPECT_EQ(nLevel, 512);
    std::vector<uint8_t> silence(320, 0);
    for (int i = 0; i < 5; ++i) EXPECT_FALSE(meter.Feed(silence.data(), 320, nLevel));
    EXPECT_TRUE(meter.Feed(silence.data(), 320, nLevel));
    EXPECT_EQ(nLevel, 508);
    for (int i = 0; i < 5; ++i) meter.Feed(silence.data(), 320, nLevel);
    EXPECT_TRUE(meter.Feed(silence.data(), 320, nLevel));
    EXPECT_EQ(nLevel, 504);
}

TEST(LevelMeter, PeakUsesEveryTenthSampleAndFallsToZero) {
    CLevelMeter meter;
    std::vector<uint8_t> block(320, 0);
    int16_t nMax = 32767;
    std::memcpy(&block[2 * 20], &nMax, 2);  // sample 20 is looked at
    int16_t nIgnored = -32768;
    std::memcpy(&block[2 * 25], &nIgnored, 2);  // sample 25 is not
    int nLevel = -1;
    ASSERT_TRUE(meter.Feed(block.data(), 320, nLevel));
    EXPECT_EQ(nLevel, 511);
    std::vector<uint8_t> silence(320, 0);
    int nMessages = 0;
    for (int i = 0; i < 6 * 200; ++i)
        if (meter.Feed(silence.data(), 320, nLevel)) {
            ++nMessages;
            EXPECT_EQ(nLevel, std::max(0, 511 - 4 * nMessages));
        }
    EXPECT_EQ(nLevel, 0);
    // A louder read goes straight up.
    std::vector<uint8_t> mid(320, 0);
    int16_t nMid = 6400;
    std::memcpy(&mid[0], &nMid, 2);
    for (int i = 0; i < 6; ++i)
        if (meter.Feed(mid.data(), 320, nLevel)) {
            EXPECT_EQ(nLevel, 100);
        }
}
