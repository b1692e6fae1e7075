#include "SharingTap.h"

#include <cstring>

#include "capture/ChangePacketReader.h"
#include "network/ControlMessages.h"
#include "network/NetworkProtocol.h"
#include "network/ScreenChangeNetMsg.h"
#include "network/SkypeReliableNetworkTransport.h"

SharingTap::SharingTap(ISkypeApplication* control, ISkypeApplication* screen, std::string const& user) {
    Open(mControl, control, user);
    Open(mScreenChannel, screen, user);
}

SharingTap::~SharingTap() {
    // As a session drops a channel: the protocol detaches, then the transport goes.
    for (Channel* channel : {&mControl, &mScreenChannel}) {
        channel->protocol.reset();
        channel->transport.reset();
    }
}

void SharingTap::Open(Channel& channel, ISkypeApplication* application, std::string const& user) {
    channel.transport = std::make_unique<SkypeReliableNetworkTransport>(application, user);
    channel.protocol = std::make_unique<NetworkProtocol>(channel.transport.get());
    channel.protocol->RegisterVisitor(this);
}

SharingTap::Counts SharingTap::GetCounts() const {
    CriticalSectionLock lock(mLock);
    return mCounts;
}

std::vector<unsigned char> SharingTap::GetScreen(SIZE& size) const {
    CriticalSectionLock lock(mLock);
    size = mSize;
    return mScreen;
}

std::vector<unsigned char> SharingTap::GetClipboard() const {
    CriticalSectionLock lock(mLock);
    return mClipboard;
}

void SharingTap::Handle(ScreenChangeNetMsg const& message) {
    CriticalSectionLock lock(mLock);
    ++mCounts.changes;
    mCounts.lastChangeTick = GetTickCount();
    mCounts.screenBytes += message.GetImageDataSize();
    mCounts.lastBytesPerPixel = message.GetColorDepth();
    if (message.IsJpeg() || !message.GetJpegImages().empty()) {
        ++mCounts.pictureChanges;
        return;
    }
    Apply(message.GetImage(), message.GetImageDataSize(), message.GetOriginResolution(),
          message.GetColorDepth());
}

void SharingTap::Apply(void const* packet, unsigned size, SIZE origin, int bytesPerPixel) {
    if (bytesPerPixel != 3 || origin.cx <= 0 || origin.cy <= 0 || origin.cx > 16384 || origin.cy > 16384) {
        return;
    }
    if (origin.cx != mSize.cx || origin.cy != mSize.cy) {
        mSize = origin;
        mScreen.assign(static_cast<std::size_t>(origin.cx) * origin.cy * 3, 0);
    }
    ChangePacketReader reader(packet, size, 3);
    ChangePacketRecord record;
    while (reader.Next(record)) {
        RECT const& r = record.rect;
        if (r.right > origin.cx || r.bottom > origin.cy) {
            continue;
        }
        std::size_t const rowBytes = static_cast<std::size_t>(r.right - r.left) * 3;
        for (LONG y = r.top; y < r.bottom; ++y) {
            std::memcpy(&mScreen[(static_cast<std::size_t>(y) * origin.cx + r.left) * 3],
                        record.pixels + (y - r.top) * rowBytes, rowBytes);
        }
    }
}

void SharingTap::Handle(MouseMoveNetMsg const& message) {
    CriticalSectionLock lock(mLock);
    ++mCounts.mouseMoves;
    mCounts.lastMouse = message.GetMousePos();
}

void SharingTap::Handle(ClipboardNetMsg const& message) {
    CriticalSectionLock lock(mLock);
    ++mCounts.clipboards;
    mClipboard.assign(message.GetClipboardData(),
                      message.GetClipboardData() + message.GetClipboardDataSize());
}

void SharingTap::Handle(ClipboardAcknowledgeNetMsg const&) {
    CriticalSectionLock lock(mLock);
    ++mCounts.acknowledgements;
}
