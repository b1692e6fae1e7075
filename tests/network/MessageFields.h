#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "../ErrorText.h"
#include "RecordLog.h"
#include "network/ControlMessages.h"
#include "network/ScreenChangeNetMsg.h"

// Every field of each routed message, read through its accessors, as one line of text, as
// "RequestRemoteDesktop 100 1024x768/8/0/35/1" (request, allowed, aborted, quality).
class FieldWriter : public NetworkVisitor {
public:
    RecordLog log;

    static std::string Text(tagSIZE size) { return std::to_string(size.cx) + "x" + std::to_string(size.cy); }
    static std::string Text(SessionQualityConfiguration const& quality) {
        return Text(quality.Resolution.Get()) + "/" + std::to_string(quality.ColorDepth.Get()) + "/" +
               std::to_string(quality.UseJpeg.Get()) + "/" + std::to_string(quality.JpegQuality.Get()) + "/" +
               std::to_string(quality.AutoJpegQuality.Get());
    }

    void Handle(RequestRemoteDesktopNetMsg const& m) override {
        log.Add("RequestRemoteDesktop " + std::to_string(m.IsRequest()) + std::to_string(m.IsAllowed()) +
                std::to_string(m.IsAborted()) + " " + Text(m.GetQuality()));
    }
    void Handle(TestConnectNetMsg const& m) override {
        // A sent message's data is "text:response"; a received one's is the text.
        std::string const text = m.GetData().substr(0, m.GetData().find(':'));
        log.Add("TestConnect " + std::to_string(m.IsResponse()) + " " + std::to_string(text.size()) + " " +
                text.substr(0, 20));
    }
    void Handle(ShowMyDesktopNetMsg const& m) override {
        log.Add("ShowMyDesktop " + Text(m.GetQuality()) + " " + std::to_string(m.IsAccepted()) +
                std::to_string(m.IsResponse()));
    }
    void Handle(ScreenChangeNetMsg const& m) override {
        log.Add("ScreenChange " + Text(m.GetOriginResolution()) + "/" + std::to_string(m.GetColorDepth()) +
                " " + std::to_string(m.GetTiming()) + " " + std::to_string(m.GetUncompressedSize()) + " " +
                std::to_string(m.IsJpeg()) + " " + m.GetEncodedData());
    }
    void Handle(WindowEventNetMsg const& m) override {
        log.Add("WindowEvent " + std::to_string(m.GetMessageW()) + " " + std::to_string(m.GetWParam()) + " " +
                std::to_string(m.GetLParam()));
    }
    void Handle(DiscoveryNetMsg const& m) override {
        log.Add("Discovery " + m.GetDiscoveryInfo().computerName + "|" + m.GetDiscoveryInfo().userName);
    }
    void Handle(ClipboardNetMsg const& m) override {
        std::string bytes(reinterpret_cast<char const*>(m.GetClipboardData()), m.GetClipboardDataSize());
        log.Add("Clipboard " + std::to_string(bytes.size()) + " " +
                std::to_string(std::hash<std::string>()(bytes)));
    }
    void Handle(DesktopResolutionMsg const& m) override {
        log.Add("DesktopResolution " + std::to_string(m.IsRequest()) + " " + Text(m.GetResolution()));
    }
    void Handle(ClipboardRequestNetMsg const&) override { log.Add("ClipboardRequest"); }
    void Handle(ClipboardAcknowledgeNetMsg const&) override { log.Add("ClipboardAcknowledge"); }
    void Handle(MouseMoveNetMsg const& m) override {
        log.Add("MouseMove " + std::to_string(m.GetMousePos().x) + "," + std::to_string(m.GetMousePos().y));
    }
};

// The fields of `message` as FieldWriter writes them.
inline std::string FieldsOf(NetworkMessage& message) {
    FieldWriter writer;
    message.Route(writer);
    return writer.log.Records().at(0);
}

// The message of class T that reads `payload`, as the protocol endpoint would make it.
template <class T>
std::unique_ptr<T> Read(std::string const& payload) {
    std::unique_ptr<NetworkMessage> message(NetworkMessage::ParseFactory(T::mId, payload.c_str()));
    auto typed = dynamic_cast<T*>(message.get());
    EXPECT_NE(typed, nullptr);
    message.release();
    return std::unique_ptr<T>(typed);
}

// The text of the NetworkError that reading `payload` raises; "<none>" when it reads.
template <class T>
std::string ReadError(std::string const& payload) {
    return ErrorText<NetworkError>([&] { Read<T>(payload); });
}
