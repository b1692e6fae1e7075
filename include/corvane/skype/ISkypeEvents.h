#pragma once

#include <string>
#include <utility>
#include <vector>

#include "foundation/Event.h"

// The application-stream events of the messenger client. All are raised on the client's
// notification thread ("SkypeEvent"), in the order the messenger sent its notifications.
class ISkypeEvents {
public:
    // One stream as (user handle, stream id).
    using Stream = std::pair<std::string, std::string>;
    using StreamList = std::vector<Stream>;

    // The send state of one stream.
    struct AppSendingData {
        std::string user;
        std::string streamId;
        int bytes = 0;  // still to send
    };

    // One datagram. `data` points into the notification and is valid during the event only.
    struct AppDatagramData {
        std::string user;
        std::string streamId;
        char const* data = nullptr;
    };

    // The application's name and its current streams, in the messenger's order.
    Event2<std::string const&, StreamList const&> OnAppStreams;
    // The application's name and the streams on which data waits to be read.
    Event2<std::string const&, StreamList const&> OnAppReceived;
    // The application's name and the send state of its streams.
    Event2<std::string const&, std::vector<AppSendingData> const&> OnAppSending;
    // The application's name and one datagram.
    Event2<std::string const&, AppDatagramData const&> OnAppDatagram;

protected:
    ISkypeEvents() = default;
    ~ISkypeEvents() = default;
};
