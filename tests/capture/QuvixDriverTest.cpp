#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "CapturePackets.h"
#include "FakeQuvixDevice.h"
#include "capture/FrameBufferOut.h"
#include "capture/QuvixCursorShape.h"
#include "capture/QuvixDriver.h"
#include "capture/QuvixEscapeBlock.h"
#include "capture/QuvixSurface.h"

namespace {

using Block = QuvixEscapeBlock;

// A frame buffer in driver mode on a fake driver with a 1000 x 700 display at 2 bytes per pixel.
class DriverModeTest : public ::testing::Test {
protected:
    void SetUp() override {
        buffer = std::make_unique<CFrameBufferOut>();
        ASSERT_EQ(buffer->UseDriver(), 1);
        buffer->SetCaps(1000, 700, 2);
        ASSERT_NE(device.GetBuffer(), nullptr);
    }

    FakeQuvixDevice device{SIZE{1000, 700}};
    std::unique_ptr<CFrameBufferOut> buffer;
};

TEST_F(DriverModeTest, MapBlockAndChangeListAsTheDriverHasThem) {
    std::vector<FakeQuvixDevice::Call> calls = device.TakeCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].code, 0x63741C99u);
    Block const block = calls[0].block;
    ASSERT_EQ(block.GetSize(), 104);
    char16_t name[34] = u"KVR.Quvix.Escape";  // zero-padded to 68 bytes
    EXPECT_EQ(std::memcmp(block.GetData(), name, sizeof(name)), 0);
    // The block's size, bytes per pixel, the mode and the tile (8 x bytes per pixel).
    std::uint32_t const fields[][2] = {{68, 104}, {72, 2}, {76, 1000}, {80, 700}, {84, 16}};
    for (auto const& field : fields) {
        EXPECT_EQ(block.GetU32(field[0]), field[1]) << "at " << field[0];
    }
    // Pixels, 8 bytes per 16 x 16 tile (63 x 44 of them), 8 more.
    std::uint64_t const expected = 1000ull * 700 * 2 + 63 * 44 * 8 + 8;
    EXPECT_EQ(block.GetU64(96), expected);
    EXPECT_EQ(device.GetBufferSize(), expected);
    EXPECT_EQ(CQuvixSurface::BufferSize(SIZE{65535, 65535}, 3, 24),
              65535ull * 65535 * 3 + 2731ull * 2731 * 8 + 8);

    // The change list is handed over as the driver left it.
    EXPECT_FALSE(TakePacket(*buffer).present);
    EXPECT_TRUE(device.TakeCalls().empty()) << "no fetch without the pending flag";

    std::vector<unsigned char> list =
        FakeQuvixDevice::MakeChangeList({{0, 0, 3, 2}, {990, 690, 1000, 700}}, 2, 0x5A);
    device.SimulateChanges(list);
    device.SimulateCounter(42);
    void* data = nullptr;
    unsigned long size = 0;
    int owned = -1;
    ASSERT_TRUE(buffer->GetData(data, size, owned));
    EXPECT_EQ(owned, 0);
    ASSERT_EQ(size, list.size());
    EXPECT_EQ(std::memcmp(data, list.data(), size), 0);
    EXPECT_EQ(data, device.GetBuffer() + 4);
    buffer->FreeData(data);  // the driver's memory: nothing happens
    calls = device.TakeCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].code, 0x63741C9Cu);
    EXPECT_EQ(calls[0].block.GetSize(), 76);
    EXPECT_EQ(calls[0].block.GetU32(72), 1u);  // the surface id
    EXPECT_EQ(buffer->GetChangedValue(), 42);
    EXPECT_FALSE(buffer->GetData(data, size, owned)) << "the flag was taken down";
}

// The driver's memory is read as untrusted: a list that does not fit is refused whole.
TEST_F(DriverModeTest, MalformedChangeListsAndCursorShapesAreRefused) {
    std::vector<unsigned char> hugeCount = {0xFF, 0xFF, 0xFF, 0x7F, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0};
    std::vector<unsigned char> const cases[] = {
        hugeCount,
        FakeQuvixDevice::MakeChangeList({{0, 0, 1001, 1}}, 2, 1),
        FakeQuvixDevice::MakeChangeList({{5, 0, 4, 1}}, 2, 1),
        FakeQuvixDevice::MakeChangeList({{0, 0, 1000, 700}, {0, 0, 1000, 700}}, 2, 1),
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        device.SimulateChanges(cases[i]);
        EXPECT_FALSE(TakePacket(*buffer).present);
    }
    // So is a cursor shape; a bad one leaves the last good one.
    EXPECT_EQ(buffer->GetCursorInfo(), nullptr);
    std::vector<unsigned char> shape(16 + 2 * 2 + 2 * 2 * 4, 0xFF);
    std::uint32_t const header[] = {2, 2, 1, 0};
    std::memcpy(shape.data(), header, sizeof(header));
    std::vector<unsigned char> tooWide = shape;
    tooWide[0] = 0;
    tooWide[1] = 2;  // 512 pixels

    device.SimulateCursorShape(tooWide);
    EXPECT_EQ(buffer->GetCursorInfo(), nullptr);
    device.SimulateCursorShape(shape);
    CQuvixCursorShape* cursor = buffer->GetCursorInfo();
    ASSERT_NE(cursor, nullptr);
    EXPECT_EQ(cursor->GetWidth(), 2u);
    EXPECT_EQ(cursor->GetHotSpot().x, 1);
    HICON icon = cursor->CreateIcon();
    EXPECT_NE(icon, nullptr);
    DestroyIcon(icon);
    device.SimulateCursorShape(tooWide);
    EXPECT_EQ(buffer->GetCursorInfo(), cursor);
}

// The sink window unmaps and maps the surfaces on the driver's messages, and on a new screen
// geometry re-attaches the driver between the two.
TEST_F(DriverModeTest, DisplayChangesRemapTheSurface) {
    HWND sink = CQuvixDriver::Instance()->GetSinkWindow();
    ASSERT_NE(sink, nullptr);
    EXPECT_EQ(FindWindowW(CQuvixDriver::kSinkClass, nullptr), sink);
    device.TakeCalls();

    SendMessageW(sink, RegisterWindowMessageW(L"halvik.message.destroy_surfaces"), 0, 0);
    device.SetMode(SIZE{800, 600});
    SendMessageW(sink, RegisterWindowMessageW(L"halvik.message.create_surfaces"), 0, 0);
    std::vector<FakeQuvixDevice::Call> calls = device.TakeCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].code, 0x63741C9Au);
    EXPECT_EQ(calls[0].block.GetU32(72), 1u);
    EXPECT_EQ(calls[1].code, 0x63741C99u);
    EXPECT_EQ(calls[1].block.GetU32(76), 800u);

    SendMessageW(sink, WM_DISPLAYCHANGE, 32, MAKELPARAM(1024, 768));
    ASSERT_EQ(device.GetReattached().size(), 1u);
    EXPECT_EQ(device.GetReattached()[0].cx, 1024);
    calls = device.TakeCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].code, 0x63741C9Au);
    EXPECT_EQ(calls[1].block.GetU32(80), 768u);

    buffer.reset();
    EXPECT_EQ(CQuvixDriver::Instance()->GetSinkWindow(), nullptr);
    EXPECT_EQ(device.TakeCalls().back().code, 0x63741C9Au);
}

// Rectangles widen to whole blocks of the common grid (2 x 2 pixels to 1) and never past the
// frame; the output is sized and written at the target depth.
TEST(QuvixRescaleTest, RectanglesMapOntoTheTargetGrid) {
    FakeQuvixDevice device(SIZE{1280, 1024});
    CFrameBufferOut buffer;
    buffer.SetCaps(1280, 1024, 3);
    for (int targetDepth : {3, 1}) {
        SCOPED_TRACE("target bytes per pixel " + std::to_string(targetDepth));
        device.SimulateChanges(FakeQuvixDevice::MakeChangeList({{11, 10, 20, 19}, {0, 0, 1280, 1024}}, 3, 0));
        void* data = nullptr;
        unsigned long size = 0;
        int owned = 0;
        SIZE target = {640, 512};
        ASSERT_TRUE(buffer.GetDataStratched(data, size, owned, target, targetDepth));
        EXPECT_EQ(owned, 1);
        CapturePacket const packet = ReadPacket(data, size, targetDepth);
        std::free(data);
        EXPECT_EQ(packet.count, 2u);
        EXPECT_EQ(Describe(packet.rects), "(5,5)-(11,10) (0,0)-(640,512)");
        EXPECT_EQ(size, 4 + 8 + 6 * 5 * targetDepth + 8 + 640 * 512 * targetDepth);
    }
}

}  // namespace
