#include "SharingTap.h"

#include <cstring>

#include "capture/ChangePacketReader.h"
#include "codec/ScreenDecoder.h"
#include "imaging/Picture.h"
#include "network/ControlMessages.h"
#include "network/NetworkProtocol.h"
#include "network/ScreenChangeNetMsg.h"
#include "network/SkypeReliableNetworkTransport.h"

SharingTap::SharingTap(ISkypeApplication* control, ISkypeApplication* screen, std::string const& user,
                       ChangeHandler onChange)
    : mOnChange(std::move(onChange)) {
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
    bool const pictures = message.IsJpeg();
    ScreenDecoder::Change change;
    if (!pictures || mDecodePictures) {
        change = ScreenDecoder::Decode(message);  // as the viewer does
    }
    CriticalSectionLock lock(mLock);
    ++mCounts.changes;
    mCounts.lastChangeTick = GetTickCount();
    mCounts.screenBytes += message.GetUncompressedSize();
    mCounts.lastBytesPerPixel = message.GetColorDepth();
    mCounts.pictureChanges += pictures ? 1 : 0;
    if (!Fit(message.GetOriginResolution())) {
        return;
    }
    if (pictures) {
        ApplyPictures(change);
    } else if (message.GetColorDepth() == 3) {
        Apply(change.packet.data(), static_cast<unsigned>(change.packet.size()));
    }
    if (mOnChange) {
        mOnChange(mScreen, mSize);
    }
}

bool SharingTap::Fit(SIZE origin) {
    if (origin.cx <= 0 || origin.cy <= 0 || origin.cx > 16384 || origin.cy > 16384) {
        return false;
    }
    if (origin.cx != mSize.cx || origin.cy != mSize.cy) {
        mSize = origin;
        mScreen.assign(static_cast<std::size_t>(origin.cx) * origin.cy * 3, 0);
    }
    return true;
}

void SharingTap::Paste(RECT const& r, unsigned char const* pixels) {
    if (r.left < 0 || r.top < 0 || r.right > mSize.cx || r.bottom > mSize.cy || r.right <= r.left) {
        return;
    }
    std::size_t const rowBytes = static_cast<std::size_t>(r.right - r.left) * 3;
    mCounts.pixels += static_cast<unsigned long long>(r.right - r.left) * (r.bottom - r.top);
    for (LONG y = r.top; y < r.bottom; ++y) {
        std::memcpy(&mScreen[(static_cast<std::size_t>(y) * mSize.cx + r.left) * 3],
                    pixels + (y - r.top) * rowBytes, rowBytes);
    }
}

void SharingTap::Apply(void const* packet, unsigned size) {
    ChangePacketReader reader(packet, size, 3);
    ChangePacketRecord record;
    while (reader.Next(record)) {
        Paste(record.rect, record.pixels);
    }
}

void SharingTap::ApplyPictures(ScreenDecoder::Change const& change) {
    for (ScreenDecoder::JpegImageInfo const& info : change.pictures) {
        RECT const& r = info.rect;
        if (info.image && info.image->GetWidth() == r.right - r.left &&
            info.image->GetHeight() == r.bottom - r.top) {
            Paste(r, info.image->GetBgr24().data());
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
