#pragma once

#include <string>

class NetworkVisitor;

// The common base of every message two peers exchange, and the text frame around it:
//   "*" + checksum + "," + id + "," + data length + "," + data
// where the checksum (StringHelper::CheckSumFormat) covers the text from the id on.
// Messages are plain values used by one thread at a time.
class NetworkMessage {
public:
    virtual ~NetworkMessage() = default;
    // 0: the control stream; 1: the screen stream.
    virtual int GetStreamIndex() const = 0;
    virtual int GetId() const = 0;
    // Calls the visitor's Handle for the message's own class.
    virtual void Route(NetworkVisitor& visitor) = 0;

    // The payload text.
    std::string GetData() const { return mData; }
    // The message framed under its own id.
    std::string ToString() const;

    // Frames `data` under `id`. The data must not contain a NUL.
    static std::string ToString(int id, std::string const& data);
    // Checks a received NUL-terminated frame, stores its id in `id` and returns where its data
    // starts inside `frame`. Raises NetworkMessageFormatError when the frame is malformed;
    // `id` is set only once the length has been checked.
    static char const* ParseResponse(char const* frame, int& id);
    // A new message of class `id` (the caller owns it) that has read `data`. Raises
    // NetworkMessageFormatError for an unregistered id, and whatever the message's reading raises.
    static NetworkMessage* ParseFactory(int id, char const* data);

protected:
    NetworkMessage() = default;
    NetworkMessage(NetworkMessage const&) = default;
    NetworkMessage& operator=(NetworkMessage const&) = default;

    // Reads the fields of a received payload; `data` is never null. The base reads nothing.
    virtual void ParseNetworkMessage(char const* data);
    // A default-constructed message of the registered class `id`; the caller owns it.
    static NetworkMessage* CreateMessageInstanceById(int id);

    std::string mData;
};
