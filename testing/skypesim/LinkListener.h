#pragma once

#include <winsock2.h>

#include <atomic>
#include <functional>
#include <string>

#include "WorkerThread.h"

namespace skypesim {

// Listens on a loopback port and hands every connection that comes in to `accepted` (which
// owns it from then on), on a thread of its own.
class LinkListener {
public:
    using Accepted = std::function<void(SOCKET)>;

    // Listens on `port` (0: any free one); IsListening() tells whether that worked.
    LinkListener(unsigned short port, Accepted accepted);
    ~LinkListener();  // stops listening and waits for its thread
    LinkListener(LinkListener const&) = delete;
    LinkListener& operator=(LinkListener const&) = delete;

    bool IsListening() const { return mSocket != INVALID_SOCKET; }
    unsigned short Port() const { return mPort; }
    std::string const& Error() const { return mError; }

private:
    void AcceptLoop();

    SOCKET mSocket = INVALID_SOCKET;  // owned
    unsigned short mPort = 0;
    std::string mError;
    Accepted mAccepted;
    std::atomic<bool> mStopping{false};
    WorkerThread mThread;
};

}  // namespace skypesim
