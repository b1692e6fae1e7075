#include "skypesim/SimLink.h"

#include <algorithm>

#include "skypesim/LinkSocket.h"

namespace skypesim {

namespace {
// How often a waiting thread looks whether the link was closed.
constexpr unsigned kPollMs = 200;
// Frames due together are sent in batches of about this size.
constexpr std::size_t kBatchBytes = 1024 * 1024;
}  // namespace

SimLink::SimLink(SOCKET socket, unsigned latencyMs, Deliver deliver, Closed closed)
    : mSocket(socket), mLatencyMs(latencyMs), mDeliver(std::move(deliver)), mClosed(std::move(closed)) {
    SetNoDelay(mSocket);
    mReader.Start([this] { ReadLoop(); });
    mWriter.Start([this] { WriteLoop(); });
}

SimLink::~SimLink() {
    Close();
    mReader.Join();
    mWriter.Join();
    closesocket(mSocket);
}

void SimLink::Close() {
    mEnded = true;
    shutdown(mSocket, SD_BOTH);
    std::lock_guard<std::mutex> lock(mMutex);
    mQueued.notify_all();
}

void SimLink::Fail(std::string const& reason) {
    if (!mEnded.exchange(true)) {
        shutdown(mSocket, SD_BOTH);
        {
            std::lock_guard<std::mutex> lock(mMutex);
            mQueued.notify_all();
        }
        mClosed(reason);
    }
}

void SimLink::SendRaw(std::string bytes) {
    auto now = std::chrono::steady_clock::now();
    std::lock_guard<std::mutex> lock(mMutex);
    // Never before an earlier frame, even when the latency was lowered meanwhile.
    mLastDue = std::max(mLastDue, now + std::chrono::milliseconds(mLatencyMs.load()));
    mQueue.push_back({mLastDue, std::move(bytes)});
    mQueued.notify_all();
}

void SimLink::WriteLoop() {
    std::unique_lock<std::mutex> lock(mMutex);
    while (!mEnded) {
        if (mQueue.empty()) {
            mQueued.wait(lock);
            continue;
        }
        auto now = std::chrono::steady_clock::now();
        if (mQueue.front().due > now) {
            mQueued.wait_until(lock, mQueue.front().due);
            continue;
        }
        std::string batch = std::move(mQueue.front().bytes);
        mQueue.pop_front();
        while (!mQueue.empty() && mQueue.front().due <= now && batch.size() < kBatchBytes) {
            batch += mQueue.front().bytes;
            mQueue.pop_front();
        }
        lock.unlock();
        bool sent = SendAll(batch);
        lock.lock();
        if (!sent) {
            lock.unlock();
            Fail("cannot send: " + SocketErrorText(WSAGetLastError()));
            return;
        }
    }
}

bool SimLink::SendAll(std::string const& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        int chunk = static_cast<int>(std::min<std::size_t>(bytes.size() - done, 1 << 20));
        int sent = send(mSocket, bytes.data() + done, chunk, 0);
        if (sent <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(sent);
    }
    return true;
}

bool SimLink::ReadExactly(char* into, std::size_t length, bool midFrame, std::string& reason) {
    std::size_t done = 0;
    DWORD lastByte = GetTickCount();
    while (done < length) {
        if (mEnded) {
            return false;
        }
        if (!WaitReadable(mSocket, kPollMs)) {
            if ((midFrame || done > 0) && GetTickCount() - lastByte > kFrameTimeoutMs) {
                reason = "malformed message: it stopped half-way";
                return false;
            }
            continue;
        }
        int got =
            recv(mSocket, into + done, static_cast<int>(std::min<std::size_t>(length - done, 1 << 20)), 0);
        if (got == 0) {
            reason = midFrame || done > 0 ? "malformed message: the other side closed half-way"
                                          : "closed by the other side";
            return false;
        }
        if (got < 0) {
            reason = "cannot receive: " + SocketErrorText(WSAGetLastError());
            return false;
        }
        done += static_cast<std::size_t>(got);
        lastByte = GetTickCount();
    }
    return true;
}

void SimLink::ReadLoop() {
    std::string reason;
    for (;;) {
        unsigned char header[LinkMessage::kLengthBytes];
        if (!ReadExactly(reinterpret_cast<char*>(header), sizeof(header), false, reason)) {
            break;
        }
        std::size_t length = LinkMessage::ReadLength(header);
        if (length > LinkMessage::kMaxPayload) {
            reason = "malformed message: " + std::to_string(length) + " bytes announced, more than " +
                     std::to_string(LinkMessage::kMaxPayload);
            break;
        }
        std::string payload(length, '\0');
        if (!ReadExactly(payload.data(), length, true, reason)) {
            break;
        }
        std::optional<LinkMessage> message = LinkMessage::Decode(payload, reason);
        std::string problem = message ? message->Check() : reason;
        if (!problem.empty()) {
            reason = "malformed message: " + problem;
            break;
        }
        mDeliver(std::move(*message));
    }
    Fail(reason);
}

}  // namespace skypesim
