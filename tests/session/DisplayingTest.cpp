// The viewing state: frames, cursor and clipboard sent by bob's session through the real
// protocol, drawn and applied on alice's side, and the ways viewing ends.
#include <cstdint>
#include <cstring>
#include <mutex>

#include "SessionTestSupport.h"
#include "codec/ScreenEncoder.h"
#include "imaging/Picture.h"
#include "input/ClipboardHelper.h"
#include "session/DisplayingState.h"
#include "viewer/RemoteScreenSurface.h"

namespace session_test {
namespace {

using Bytes = std::vector<unsigned char>;

// One filled rectangle of a change packet.
struct Fill {
    RECT rect;
    Bytes pixel;  // one pixel's bytes, repeated
};

Bytes Packet(std::vector<Fill> const& fills) {
    Bytes out;
    auto put = [&out](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            out.push_back(static_cast<unsigned char>(value >> (8 * i)));
        }
    };
    put(static_cast<std::uint32_t>(fills.size()), 4);
    for (Fill const& fill : fills) {
        put(fill.rect.left, 2), put(fill.rect.top, 2), put(fill.rect.right, 2), put(fill.rect.bottom, 2);
        long const pixels = (fill.rect.right - fill.rect.left) * (fill.rect.bottom - fill.rect.top);
        for (long i = 0; i < pixels; ++i) {
            out.insert(out.end(), fill.pixel.begin(), fill.pixel.end());
        }
    }
    return out;
}

// What RemoteScreenChanged reported, copied on "SkypeEvent".
struct Drawn {
    int width;
    int height;
    RECT changed;
    int timing;
    std::shared_ptr<RemoteScreenSurface const> surface;
};

class Viewing : public TwoPeers {
protected:
    void SetUp() override {
        TwoPeers::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        viewer = alice->ContactSession();
        sharer = bob->ContactSession();
        ASSERT_TRUE(viewer && sharer);
        viewer->RemoteScreenChanged.Add(MakeDelegate<&Viewing::OnDrawn>(this));
        // Bob stays available: nothing but the test sends to alice.
        viewer->ChangeState(new DisplayingState(alice->config.SessionQuality));
        ASSERT_TRUE(alice->Expect("show-remote 1024x768x16")) << alice->Pending();
        ASSERT_TRUE(alice->Expect("state DisplayingState")) << alice->Pending();
    }

    void TearDown() override {
        viewer->RemoteScreenChanged.Remove(MakeDelegate<&Viewing::OnDrawn>(this));
        TwoPeers::TearDown();
    }

    void OnDrawn(ISession::RemoteScreenChangeArgs const& args) {
        Drawn drawn{args.width, args.height, RECT{0, 0, 0, 0}, args.timing, args.surface};
        if (args.changed) {
            GetRgnBox(args.changed, &drawn.changed);
        }
        std::lock_guard<std::mutex> lock(mLock);
        mDrawn.push_back(drawn);
    }

    // Sends a frame from bob and waits for alice's event about it.
    bool SendFrame(tagSIZE origin, unsigned char depth, bool jpeg, std::vector<Fill> const& fills,
                   Drawn& drawn, int timing = 7) {
        Bytes const packet = Packet(fills);
        std::size_t const before = Count();
        if (!sharer->SendNetworkMessage(
                ScreenEncoder::Encode(packet.data(), packet.size(), origin, timing, {depth, jpeg, 90}))) {
            return false;
        }
        for (DWORD start = GetTickCount(); GetTickCount() - start < kWait; Sleep(5)) {
            std::lock_guard<std::mutex> lock(mLock);
            if (mDrawn.size() > before) {
                drawn = mDrawn.back();
                return true;
            }
        }
        return false;
    }

    std::size_t Count() {
        std::lock_guard<std::mutex> lock(mLock);
        return mDrawn.size();
    }

    DisplayingState* State() { return dynamic_cast<DisplayingState*>(&viewer->GetCurrentState()); }

    Session* viewer = nullptr;
    Session* sharer = nullptr;

private:
    std::mutex mLock;
    std::vector<Drawn> mDrawn;
};

std::uint32_t PixelAt(Picture const& picture, int x, int y) {
    return picture.GetPixels()[y * picture.GetWidth() + x] & 0xFFFFFF;
}

bool Near(std::uint32_t actual, std::uint32_t expected, int tolerance) {
    for (int shift = 0; shift < 24; shift += 8) {
        int const a = (actual >> shift) & 0xFF;
        int const e = (expected >> shift) & 0xFF;
        if (a - e > tolerance || e - a > tolerance) {
            return false;
        }
    }
    return true;
}

// Each depth and kind lands in the surface, read back through the shared surface from this
// thread; the region is the union of the frame's rectangles; the surface follows the origin
// size, and the event reports it.
TEST_F(Viewing, FramesOfEveryKindAreDrawnAndTheSurfaceFollowsTheOriginSize) {
    struct Row {
        char const* name;
        tagSIZE origin;
        unsigned char depth;
        bool jpeg;
        Bytes pixel;
        std::uint32_t expected;  // 0xRRGGBB
        int tolerance;
    };
    Row const rows[] = {
        {"raw 24", {320, 240}, 24, false, {0x30, 0x60, 0x90}, 0x906030, 0},
        {"raw 16 (5-6-5 red)", {320, 240}, 16, false, {0x00, 0xF8}, 0xFF0000, 8},
        {"raw 8 (3-3-2 green)", {320, 240}, 8, false, {0x1C}, 0x00FF00, 36},
        {"JPEG 24, a larger sharer", {400, 300}, 24, true, {0x20, 0xC0, 0x40}, 0x40C020, 12},
        {"raw 24, a smaller sharer", {200, 100}, 24, false, {0xFF, 0xFF, 0xFF}, 0xFFFFFF, 0},
    };
    int timing = 1;
    for (Row const& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<Fill> const fills = {
            {{8, 8, 40, 24}, row.pixel}, {{100, 16, 132, 48}, row.pixel}, {{24, 64, 56, 96}, row.pixel}};
        Drawn drawn;
        ASSERT_TRUE(SendFrame(row.origin, row.depth, row.jpeg, fills, drawn, ++timing));
        EXPECT_EQ(drawn.width, row.origin.cx);
        EXPECT_EQ(drawn.height, row.origin.cy);
        EXPECT_EQ(drawn.timing, timing);
        EXPECT_EQ(drawn.changed.left, 8);
        EXPECT_EQ(drawn.changed.top, 8);
        EXPECT_EQ(drawn.changed.right, 132);
        EXPECT_EQ(drawn.changed.bottom, 96);
        ASSERT_TRUE(drawn.surface);
        Picture const picture = drawn.surface->Snapshot();
        ASSERT_EQ(picture.GetWidth(), row.origin.cx);
        ASSERT_EQ(picture.GetHeight(), row.origin.cy);
        for (POINT const at : {POINT{20, 16}, POINT{116, 32}, POINT{40, 80}}) {
            EXPECT_TRUE(Near(PixelAt(picture, at.x, at.y), row.expected, row.tolerance))
                << std::hex << PixelAt(picture, at.x, at.y) << " at " << std::dec << at.x << "," << at.y;
        }
        // A new size starts black, and is black where no frame drew.
        EXPECT_EQ(PixelAt(picture, row.origin.cx - 1, row.origin.cy - 1), 0u);
    }
}

// A frame that holds no change raises nothing.
TEST_F(Viewing, AnEmptyFrameRaisesNothing) {
    Drawn drawn;
    ASSERT_TRUE(SendFrame({320, 240}, 24, false, {{{0, 0, 4, 4}, {1, 2, 3}}}, drawn));
    std::size_t const before = Count();
    ASSERT_TRUE(sharer->SendNetworkMessage(ScreenEncoder::Encode(nullptr, 0, {320, 240}, 0, {})));
    ASSERT_TRUE(SendFrame({320, 240}, 24, false, {{{0, 0, 4, 4}, {1, 2, 3}}}, drawn));
    EXPECT_EQ(Count(), before + 1);
}

// The peer's cursor is kept; the peer's clipboard is applied here and announced; the peer's
// acknowledgement of ours is announced.
TEST_F(Viewing, RemoteCursorAndClipboardBothWays) {
    MouseMoveNetMsg const move(POINT{321, 123});
    ASSERT_TRUE(sharer->SendNetworkMessage(move));

    std::wstring const text = L"from bob's clipboard";
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    std::memcpy(GlobalLock(block), text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    GlobalUnlock(block);
    SetClipboardData(CF_UNICODETEXT, block);
    CloseClipboard();
    boost::shared_ptr<ClipboardNetMsg> clipboard = ClipboardHelper::CreateClipboardMessage();
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();  // alice's side (the same process) must get it back from the message
    CloseClipboard();
    ASSERT_TRUE(sharer->SendNetworkMessage(*clipboard));
    ASSERT_TRUE(alice->Expect("clipboard-received")) << alice->Pending();
    ASSERT_TRUE(OpenClipboard(nullptr));
    HANDLE handle = GetClipboardData(CF_UNICODETEXT);
    std::wstring const applied = handle ? static_cast<wchar_t const*>(GlobalLock(handle)) : L"";
    if (handle) {
        GlobalUnlock(handle);
    }
    CloseClipboard();
    EXPECT_TRUE(applied == text);

    ASSERT_TRUE(sharer->SendNetworkMessage(ClipboardAcknowledgeNetMsg()));
    ASSERT_TRUE(alice->Expect("clipboard-delivered")) << alice->Pending();
    // The cursor went before the clipboard on the same channel or on the other one: wait.
    POINT cursor = {0, 0};
    for (DWORD start = GetTickCount(); GetTickCount() - start < kWait && cursor.x != 321; Sleep(5)) {
        cursor = State()->GetRemoteCursor();
    }
    EXPECT_EQ(cursor.x, 321);
    EXPECT_EQ(cursor.y, 123);
}

// Every way viewing ends: the local stop hides the view at once and leaves the abort to the
// idle tick; only the peer's abort counts, not its "OK" or a request; the surface outlives
// the state for a reader that kept it.
TEST_F(Viewing, StopsByTheLocalUserAndByThePeer) {
    Drawn drawn;
    ASSERT_TRUE(SendFrame({320, 240}, 24, false, {{{0, 0, 4, 4}, {9, 9, 9}}}, drawn));
    RequestRemoteDesktopNetMsg allowed;
    allowed.SetResponse(true);
    ASSERT_TRUE(sharer->SendNetworkMessage(allowed));
    ASSERT_TRUE(sharer->SendNetworkMessage(RequestRemoteDesktopNetMsg(true, bob->config.SessionQuality)));
    RequestRemoteDesktopNetMsg abort;
    abort.SetAbort(true);
    ASSERT_TRUE(sharer->SendNetworkMessage(abort));
    ASSERT_TRUE(alice->Expect("\"Remote user aborted session.\" red []")) << alice->Pending();
    ASSERT_TRUE(alice->Expect("hide-remote")) << alice->Pending();
    ASSERT_TRUE(alice->Expect("state AvailableState")) << alice->Pending();
    EXPECT_EQ(drawn.surface->Snapshot().GetWidth(), 320);

    viewer->ChangeState(new DisplayingState(alice->config.SessionQuality));
    ASSERT_TRUE(alice->Expect("state DisplayingState")) << alice->Pending();
    alice->Gui()->Run("Stop displaying");
    ASSERT_TRUE(alice->Expect("hide-remote")) << alice->Pending();
    ASSERT_TRUE(alice->Expect("\"Session was stopped.\" red []")) << alice->Pending();
    ASSERT_TRUE(alice->Expect("state AvailableState")) << alice->Pending();
}

}  // namespace
}  // namespace session_test
