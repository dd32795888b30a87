#pragma once
// A plain Winsock client for streaming to the loopback servers in tests.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdint>
#include <vector>

class CTestClient {
public:
    CTestClient() = default;
    ~CTestClient() { Close(); }
    CTestClient(const CTestClient&) = delete;
    CTestClient& operator=(const CTestClient&) = delete;

    bool Connect(u_short nPort) {
        m_hSocket = ::socket(AF_INET, SOCK_STREAM, 0);
        if (m_hSocket == INVALID_SOCKET) return false;
        BOOL bNoDelay = TRUE;  // small pieces go out as they are written
        ::setsockopt(m_hSocket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<char*>(&bNoDelay), sizeof(bNoDelay));
        sockaddr_in addr = {};
        addr.sin_family = AF_INET;
        addr.sin_port = ::htons(nPort);
        addr.sin_addr.s_addr = ::inet_addr("127.0.0.1");
        return ::connect(m_hSocket, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
    }
    bool Send(const uint8_t* p, size_t n) {
        while (n > 0) {
            int nSent = ::send(m_hSocket, reinterpret_cast<const char*>(p), static_cast<int>(n), 0);
            if (nSent <= 0) return false;
            p += nSent;
            n -= nSent;
        }
        return true;
    }
    bool Send(const std::vector<uint8_t>& bytes) { return Send(bytes.data(), bytes.size()); }
    // Ends the connection with a reset instead of an orderly close.
    void Reset() {
        if (m_hSocket == INVALID_SOCKET) return;
        linger lin = {1, 0};
        ::setsockopt(m_hSocket, SOL_SOCKET, SO_LINGER, reinterpret_cast<char*>(&lin), sizeof(lin));
        ::closesocket(m_hSocket);
        m_hSocket = INVALID_SOCKET;
    }
    void Close() {
        if (m_hSocket == INVALID_SOCKET) return;
        ::shutdown(m_hSocket, SD_SEND);
        ::closesocket(m_hSocket);
        m_hSocket = INVALID_SOCKET;
    }
    // True when the server ended the connection (a read returns 0 or fails) within the time.
    bool WaitClosedByPeer(DWORD dwMs) {
        DWORD timeout = dwMs;
        ::setsockopt(m_hSocket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<char*>(&timeout), sizeof(timeout));
        char c;
        int n = ::recv(m_hSocket, &c, 1, 0);
        return n == 0 || (n < 0 && ::WSAGetLastError() != WSAETIMEDOUT);
    }
    SOCKET Get() const { return m_hSocket; }

private:
    SOCKET m_hSocket = INVALID_SOCKET;
};
