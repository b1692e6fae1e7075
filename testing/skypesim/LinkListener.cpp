#include "skypesim/LinkListener.h"

#include "skypesim/LinkSocket.h"

namespace skypesim {

namespace {
constexpr unsigned kPollMs = 200;
}

LinkListener::LinkListener(unsigned short port, Accepted accepted) : mAccepted(std::move(accepted)) {
    mSocket = ListenOnLoopback(port, mPort, mError);
    if (IsListening()) {
        mThread.Start([this] { AcceptLoop(); });
    }
}

LinkListener::~LinkListener() {
    mStopping = true;
    mThread.Join();
    if (IsListening()) {
        closesocket(mSocket);
    }
}

void LinkListener::AcceptLoop() {
    while (!mStopping) {
        if (!WaitReadable(mSocket, kPollMs)) {
            continue;
        }
        SOCKET connection = accept(mSocket, nullptr, nullptr);
        if (connection != INVALID_SOCKET) {
            mAccepted(connection);
        }
    }
}

}  // namespace skypesim
