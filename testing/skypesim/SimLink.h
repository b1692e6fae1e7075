#pragma once

#include <winsock2.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

#include "WorkerThread.h"
#include "skypesim/LinkMessage.h"

namespace skypesim {

// One connection to the linked simulator on the other machine. Frames go out on a writer
// thread, each `latency` after it was queued, in order; they come in on a reader thread, which
// checks each and hands it to `deliver`. A frame that is malformed, too long or stops
// half-way, the other side closing, or a socket error end the link: `closed` gets the reason,
// once, on the thread that found it. Close() ends it from this side without calling `closed`.
class SimLink {
public:
    using Deliver = std::function<void(LinkMessage)>;
    using Closed = std::function<void(std::string const& reason)>;

    // How long the rest of a started frame may take to arrive.
    static constexpr unsigned kFrameTimeoutMs = 10000;

    // Takes ownership of the connected `socket`.
    SimLink(SOCKET socket, unsigned latencyMs, Deliver deliver, Closed closed);
    // Closes the link and waits for both threads.
    ~SimLink();
    SimLink(SimLink const&) = delete;
    SimLink& operator=(SimLink const&) = delete;

    // Any thread.
    void Send(LinkMessage const& message) { SendRaw(message.Encode()); }
    // Queues bytes as they are (a test's broken frame).
    void SendRaw(std::string bytes);
    void SetLatency(unsigned ms) { mLatencyMs = ms; }
    void Close();

private:
    struct Queued {
        std::chrono::steady_clock::time_point due;
        std::string bytes;
    };

    void ReadLoop();
    void WriteLoop();
    // Reads exactly `length` bytes; false when the link ended (with `reason` set).
    bool ReadExactly(char* into, std::size_t length, bool midFrame, std::string& reason);
    bool SendAll(std::string const& bytes);
    void Fail(std::string const& reason);

    SOCKET mSocket;  // owned
    std::atomic<unsigned> mLatencyMs;
    Deliver mDeliver;
    Closed mClosed;
    std::atomic<bool> mEnded{false};  // Close() or a failure: nothing more is reported

    std::mutex mMutex;
    std::condition_variable mQueued;
    std::deque<Queued> mQueue;
    std::chrono::steady_clock::time_point mLastDue;

    WorkerThread mReader;
    WorkerThread mWriter;
};

}  // namespace skypesim
