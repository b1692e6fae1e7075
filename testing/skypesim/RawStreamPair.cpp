#include "skypesim/RawStreamPair.h"

#include <chrono>

#include "WorkerThread.h"

namespace skypesim {
namespace {

constexpr unsigned kWaitMs = 10000;

// The stream id of `user` in a STREAMS notification "APPLICATION a STREAMS user:id ...".
std::string StreamIdOf(std::string const& notification, std::string const& user) {
    std::size_t at = notification.find(" " + user + ":");
    if (at == std::string::npos) {
        return std::string();
    }
    std::size_t begin = at + user.size() + 2;
    return notification.substr(begin, notification.find(' ', begin) - begin);
}

}  // namespace

RawStreamPair::RawStreamPair(AccountConfig const& writer, AccountConfig const& reader,
                             std::string const& application)
    : mApplication(application),
      mWriterHandle(writer.handle),
      mReaderHandle(reader.handle),
      mWriter(writer.discoverMessage, writer.attachMessage),
      mReader(reader.discoverMessage, reader.attachMessage) {
    mReady = Open();
}

bool RawStreamPair::Open() {
    std::string const create = "CREATE APPLICATION " + mApplication;
    if (!mWriter.Attach(kWaitMs) || !mReader.Attach(kWaitMs) || !mWriter.Command(create, kWaitMs) ||
        !mReader.Command(create, kWaitMs) ||
        !mWriter.Command("ALTER APPLICATION " + mApplication + " CONNECT " + mReaderHandle, kWaitMs)) {
        return false;
    }
    std::string const streams = "APPLICATION " + mApplication + " STREAMS";
    std::optional<std::string> writerSide = mWriter.WaitForNotification(streams, kWaitMs);
    std::optional<std::string> readerSide = mReader.WaitForNotification(streams, kWaitMs);
    if (!writerSide || !readerSide) {
        return false;
    }
    mWriteCommand = "ALTER APPLICATION " + mApplication + " WRITE " + mReaderHandle + ":" +
                    StreamIdOf(*writerSide, mReaderHandle) + " ";
    mReadCommand = "ALTER APPLICATION " + mApplication + " READ " + mWriterHandle + ":" +
                   StreamIdOf(*readerSide, mWriterHandle);
    mWriter.Notifications().Clear();
    mReader.Notifications().Clear();
    return true;
}

double RawStreamPair::WriteAndRead(std::string const& text, int packets) {
    std::string const received = "APPLICATION " + mApplication + " RECEIVED";
    auto const start = std::chrono::steady_clock::now();
    int got = 0;
    WorkerThread reader([&] {
        while (got < packets && mReader.WaitForNotification(received, kWaitMs)) {
            std::optional<std::string> reply = mReader.Command(mReadCommand, kWaitMs);
            got += reply && reply->size() > mReadCommand.size() ? 1 : 0;
        }
    });
    std::string const write = mWriteCommand + text;
    for (int i = 0; i < packets; ++i) {
        mWriter.Command(write, kWaitMs);
        if (i % 64 == 0) {
            mWriter.Notifications().Clear();  // the SENDING reports would pile up
        }
    }
    reader.Join();
    mWriter.Notifications().Clear();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return got == packets ? seconds : -1;
}

}  // namespace skypesim
