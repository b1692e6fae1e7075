#pragma once

#include <winsock2.h>

#include <string>

namespace skypesim {

// Loopback TCP helpers of the simulator link, over Winsock.

// Starts Winsock once for the process.
void EnsureWinsock();
// A socket listening on 127.0.0.1 at `port` (0: any free port); `chosen` is the port it got.
// INVALID_SOCKET with `error` set when that failed.
SOCKET ListenOnLoopback(unsigned short port, unsigned short& chosen, std::string& error);
// A socket connected to `host`:`port`, trying again until `timeoutMs` have passed (the peer
// may not listen yet). INVALID_SOCKET with `error` set when that failed.
SOCKET ConnectTo(std::string const& host, unsigned short port, unsigned timeoutMs, std::string& error);
// Waits up to `timeoutMs` until `socket` can be read (or has failed); false on time-out.
bool WaitReadable(SOCKET socket, unsigned timeoutMs);
// Turns off the small-write delay: the link carries requests that wait for answers.
void SetNoDelay(SOCKET socket);
// "HOST:PORT" into its parts; false when it is not one.
bool SplitAddress(std::string const& address, std::string& host, unsigned short& port);
std::string SocketErrorText(int code);

}  // namespace skypesim
