#pragma once

#include <memory>
#include <string>

#include "skypesim/RawClient.h"
#include "skypesim/SkypeSimulator.h"

namespace skypesim {

// Two raw clients attached to two accounts of a simulator, with one stream of an application
// between them: the messenger's own WRITE/READ path, driven directly, as the baseline of the
// benchmarks that measure the library on top of it.
class RawStreamPair {
public:
    // Attaches to the accounts `writer` and `reader` (both added to `simulator` already) and
    // opens a stream of `application`; IsReady() tells whether that worked.
    RawStreamPair(AccountConfig const& writer, AccountConfig const& reader, std::string const& application);

    bool IsReady() const { return mReady; }

    // Writes `packets` copies of `text` while the reader reads each as it is announced; gives
    // the seconds from the first write to the last read, or a negative value when a packet
    // went missing.
    double WriteAndRead(std::string const& text, int packets);

private:
    bool Open();

    std::string mApplication;
    std::string mWriterHandle;
    std::string mReaderHandle;
    RawClient mWriter;
    RawClient mReader;
    std::string mWriteCommand;  // "ALTER APPLICATION a WRITE reader:id "
    std::string mReadCommand;   // "ALTER APPLICATION a READ writer:id"
    bool mReady = false;
};

}  // namespace skypesim
