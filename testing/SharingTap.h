#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "codec/ScreenDecoder.h"
#include "foundation/CriticalSection.h"
#include "network/NetworkVisitor.h"

class ISkypeApplication;
class NetworkProtocol;
class SkypeReliableNetworkTransport;

// Listens beside a session to what the sharing peer sends a contact: a transport and protocol
// of its own on each of the two applications, receiving only. Raw screen changes are applied
// to a copy of the sharer's screen (pictures too, as decoded, unless the tap only counts them);
// mouse moves, clipboards and acknowledgements are counted.
// Messages arrive on "SkypeEvent"; the accessors may be called from any thread.
class SharingTap : public NetworkVisitor {
public:
    // Called on "SkypeEvent" after each change was applied, with the rebuilt screen.
    using ChangeHandler = std::function<void(std::vector<unsigned char> const& screen, SIZE size)>;

    // Not owned; both applications must outlive the tap.
    SharingTap(ISkypeApplication* control, ISkypeApplication* screen, std::string const& user,
               ChangeHandler onChange = ChangeHandler());
    ~SharingTap() override;
    SharingTap(SharingTap const&) = delete;
    SharingTap& operator=(SharingTap const&) = delete;

    struct Counts {
        unsigned changes = 0;
        unsigned long long screenBytes = 0;  // change packets as received, uncompressed
        unsigned long long pixels = 0;       // the area of the rectangles applied
        DWORD lastChangeTick = 0;
        unsigned mouseMoves = 0;
        POINT lastMouse = {0, 0};
        unsigned clipboards = 0;
        unsigned acknowledgements = 0;
        unsigned pictureChanges = 0;  // JPEG or PNG changes
        int lastBytesPerPixel = 0;
    };
    Counts GetCounts() const;
    // Off: picture changes are counted but neither decoded nor applied, so that a tap beside a
    // viewing session does not double the receiving side's work. On at first; any thread.
    void DecodePictures(bool on) { mDecodePictures = on; }
    // The rebuilt screen: packed blue, green, red rows of `size` (empty before a raw change).
    std::vector<unsigned char> GetScreen(SIZE& size) const;
    // The last clipboard payload received.
    std::vector<unsigned char> GetClipboard() const;

    void Handle(ScreenChangeNetMsg const& message) override;
    void Handle(MouseMoveNetMsg const& message) override;
    void Handle(ClipboardNetMsg const& message) override;
    void Handle(ClipboardAcknowledgeNetMsg const& message) override;

private:
    struct Channel {
        std::unique_ptr<SkypeReliableNetworkTransport> transport;
        std::unique_ptr<NetworkProtocol> protocol;
    };
    void Open(Channel& channel, ISkypeApplication* application, std::string const& user);
    // Sizes the screen to `origin`; false for a size no screen has.
    bool Fit(SIZE origin);
    void Apply(void const* packet, unsigned size);
    void ApplyPictures(ScreenDecoder::Change const& change);
    void Paste(RECT const& rect, unsigned char const* pixels);

    ChangeHandler mOnChange;
    std::atomic<bool> mDecodePictures{true};
    mutable CriticalSection mLock;
    Counts mCounts;
    SIZE mSize = {0, 0};
    std::vector<unsigned char> mScreen;
    std::vector<unsigned char> mClipboard;
    Channel mControl;
    Channel mScreenChannel;
};
