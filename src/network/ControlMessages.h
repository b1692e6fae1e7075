#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "config/ConfigGroups.h"
#include "network/NetworkMessageBase.h"
#include "session/DiscoveryInfo.h"

// The messages of the control stream: negotiation, connection test, identities, the remote
// resolution, input from the viewer and the clipboard transfer.
//
// A sending constructor writes the payload; reading (ParseFactory) sets the fields from a
// received payload, and a field the text does not set keeps its default. Numbers are read by
// the leading-digits rule. A message read from text keeps that text as its data unless its
// class says otherwise. Only the readings said to raise do; other malformed texts leave
// defaults.
//
// Qualities travel as six fields joined by "/": width, height, colour depth, use JPEG (1/0),
// JPEG quality, automatic JPEG quality (1/0), as 800/600/16/1/50/1.

// Asks to view the peer's desktop ("RQ:" + quality), answers ("OK", "DN") or cancels ("ST").
// The payload is the message's kind.
class RequestRemoteDesktopNetMsg : public NetworkMessageBase<RequestRemoteDesktopNetMsg, 1, 0> {
public:
    // A request for `quality` when `request` is true; else an empty message with the default
    // quality.
    explicit RequestRemoteDesktopNetMsg(
        bool request = false, SessionQualityConfiguration const& quality = SessionQualityConfiguration());

    void SetResponse(bool allowed);
    // "ST" when `abort` is true, else an empty payload.
    void SetAbort(bool abort);

    bool IsRequest() const;
    bool IsAllowed() const;
    bool IsAborted() const;
    SessionQualityConfiguration const& GetQuality() const { return mQuality; }

protected:
    // "kind:quality" sets both (NetworkMessageFormatError "Invalid quality data" for a bad
    // quality); any other text becomes the kind as a whole.
    void ParseNetworkMessage(char const* data) override;

private:
    SessionQualityConfiguration mQuality;
};

// Offers to show the own desktop at a quality, and answers such an offer.
class ShowMyDesktopNetMsg : public NetworkMessageBase<ShowMyDesktopNetMsg, 4, 0> {
public:
    ShowMyDesktopNetMsg() = default;
    ShowMyDesktopNetMsg(SessionQualityConfiguration const& quality, bool accepted, bool response);

    SessionQualityConfiguration const& GetQuality() const { return mQuality; }
    tagSIZE GetSize() const { return mQuality.Resolution.Get(); }
    unsigned int GetColorDepth() const { return mQuality.ColorDepth.Get(); }
    bool IsUseJpeg() const { return mQuality.UseJpeg.Get(); }
    int GetJpegQuality() const { return mQuality.JpegQuality.Get(); }
    bool IsAccepted() const { return mAccepted; }
    bool IsResponse() const { return mResponse; }

protected:
    // "quality:accepted:response"; NetworkMessageFormatError "Invalid quality data" for a bad
    // quality. Any other number of fields leaves the defaults.
    void ParseNetworkMessage(char const* data) override;

private:
    SessionQualityConfiguration mQuality;
    bool mAccepted = false;
    bool mResponse = false;
};

// The connection test: a run of characters sent and echoed back as the response.
class TestConnectNetMsg : public NetworkMessageBase<TestConnectNetMsg, 10, 0> {
public:
    TestConnectNetMsg() = default;
    // `testText` must be non-empty and free of ":".
    TestConnectNetMsg(char const* testText, bool response);

    bool IsResponse() const { return mResponse; }

protected:
    // "text:response"; the data becomes the test text. Other texts set nothing.
    void ParseNetworkMessage(char const* data) override;

private:
    bool mResponse = false;
};

// A window message of the viewer, replayed on the sharing machine.
class WindowEventNetMsg : public NetworkMessageBase<WindowEventNetMsg, 7, 0> {
public:
    WindowEventNetMsg() = default;
    WindowEventNetMsg(unsigned int message, unsigned int wParam, long lParam);

    // Named so because windows.h turns GetMessage into GetMessageW.
    unsigned int GetMessageW() const { return mMessage; }
    unsigned int GetWParam() const { return mWParam; }
    long GetLParam() const { return mLParam; }

protected:
    // "message,wParam,lParam"; both parameters are read on 64 bits and kept in 32, so
    // unsigned and negative values both survive.
    void ParseNetworkMessage(char const* data) override;

private:
    unsigned int mMessage = 0;
    unsigned int mWParam = 0;
    long mLParam = 0;
};

// Who the peer is: computer name, byte 0x01, user name.
class DiscoveryNetMsg : public NetworkMessageBase<DiscoveryNetMsg, 11, 0> {
public:
    // With `fromSystem`, the local computer name and the user's display name; else a copy of
    // `info` when it is not null; else empty names.
    explicit DiscoveryNetMsg(bool fromSystem = false, DiscoveryInfo const* info = nullptr);

    DiscoveryInfo GetDiscoveryInfo() const { return mInfo; }

protected:
    // NetworkMessageFormatError "Invalid discovery message" without the 0x01 byte.
    void ParseNetworkMessage(char const* data) override;

private:
    DiscoveryInfo mInfo;
};

// Clipboard contents: byte count, ":", the bytes compressed and escape-coded.
class ClipboardNetMsg : public NetworkMessageBase<ClipboardNetMsg, 12, 0> {
public:
    // The largest clipboard a peer may send (a 4K screenshot as a 32-bit bitmap is 33 MB).
    static constexpr unsigned int kMaxSize = 64u * 1024 * 1024;

    ClipboardNetMsg() = default;
    explicit ClipboardNetMsg(std::vector<unsigned char> const& bytes);

    // Null when there are no bytes.
    unsigned char const* GetClipboardData() const { return mBytes.empty() ? nullptr : mBytes.data(); }
    unsigned int GetClipboardDataSize() const { return static_cast<unsigned int>(mBytes.size()); }

protected:
    // NetworkMessageFormatError "Invalid clipboard network message fields" or "... data size"
    // (a count of 0: an empty clipboard cannot travel); NetworkError "Failed to uncompress
    // buffer" when the bytes do not inflate to the count or the count is above kMaxSize. The data stays
    // empty: the bytes are the content.
    void ParseNetworkMessage(char const* data) override;

private:
    std::vector<unsigned char> mBytes;
};

// Asks for ("RQ") or tells ("1280x1024") the resolution of the remote desktop.
class DesktopResolutionMsg : public NetworkMessageBase<DesktopResolutionMsg, 13, 0> {
public:
    // A request.
    DesktopResolutionMsg();
    explicit DesktopResolutionMsg(tagSIZE resolution);

    bool IsRequest() const { return mRequest; }
    tagSIZE GetResolution() const { return mResolution; }

protected:
    void ParseNetworkMessage(char const* data) override;

private:
    bool mRequest = true;
    tagSIZE mResolution = {0, 0};
};

// Asks the peer for its clipboard.
class ClipboardRequestNetMsg : public NetworkMessageBase<ClipboardRequestNetMsg, 14, 0> {};

// Confirms that clipboard contents arrived.
class ClipboardAcknowledgeNetMsg : public NetworkMessageBase<ClipboardAcknowledgeNetMsg, 15, 0> {};

// The viewer's mouse position: "x:y".
class MouseMoveNetMsg : public NetworkMessageBase<MouseMoveNetMsg, 16, 0> {
public:
    MouseMoveNetMsg() = default;
    explicit MouseMoveNetMsg(tagPOINT const& position);

    tagPOINT GetMousePos() const { return mPosition; }

protected:
    void ParseNetworkMessage(char const* data) override;

private:
    tagPOINT mPosition = {0, 0};
};
