#include "skypesim/LinkSocket.h"

#include <ws2tcpip.h>

#include <mutex>

namespace skypesim {

void EnsureWinsock() {
    static std::once_flag started;
    std::call_once(started, [] {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    });
}

std::string SocketErrorText(int code) {
    return "socket error " + std::to_string(code);
}

SOCKET ListenOnLoopback(unsigned short port, unsigned short& chosen, std::string& error) {
    EnsureWinsock();
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    int length = sizeof(address);
    if (listener == INVALID_SOCKET || bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(listener, 4) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        error = "cannot listen on port " + std::to_string(port) + ": " + SocketErrorText(WSAGetLastError());
        if (listener != INVALID_SOCKET) {
            closesocket(listener);
        }
        return INVALID_SOCKET;
    }
    chosen = ntohs(address.sin_port);
    return listener;
}

SOCKET ConnectTo(std::string const& host, unsigned short port, unsigned timeoutMs, std::string& error) {
    EnsureWinsock();
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) {
        error = "not an IPv4 address: " + host;
        return INVALID_SOCKET;
    }
    DWORD const start = GetTickCount();
    for (;;) {
        SOCKET connection = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (connection != INVALID_SOCKET &&
            connect(connection, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) {
            return connection;
        }
        int code = WSAGetLastError();
        if (connection != INVALID_SOCKET) {
            closesocket(connection);
        }
        if (GetTickCount() - start >= timeoutMs) {
            error = "cannot connect to " + host + ":" + std::to_string(port) + ": " + SocketErrorText(code);
            return INVALID_SOCKET;
        }
        Sleep(100);  // the listener may not be up yet
    }
}

bool WaitReadable(SOCKET socket, unsigned timeoutMs) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket, &readable);
    fd_set failed = readable;
    timeval timeout{static_cast<long>(timeoutMs / 1000), static_cast<long>(timeoutMs % 1000) * 1000};
    return select(0, &readable, nullptr, &failed, &timeout) != 0;
}

void SetNoDelay(SOCKET socket) {
    BOOL on = TRUE;
    setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<char const*>(&on), sizeof(on));
}

bool SplitAddress(std::string const& address, std::string& host, unsigned short& port) {
    std::size_t colon = address.rfind(':');
    if (colon == std::string::npos || colon == 0) {
        return false;
    }
    std::string digits = address.substr(colon + 1);
    if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos ||
        std::stoul(digits) > 65535) {
        return false;
    }
    host = address.substr(0, colon);
    port = static_cast<unsigned short>(std::stoul(digits));
    return true;
}

}  // namespace skypesim
