#include "viewer/DrawingHelper.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <numeric>

#include "capture/ChangePacketReader.h"
#include "capture/ScreenGrab.h"
#include "viewer/PixelExpansion.h"

namespace {

// Rectangles made into a region at once before the regions are joined: few enough that
// making one stays cheap wherever that is quadratic, many enough to save calls.
constexpr std::size_t kRegionChunk = 8;

// Rows are expanded and drawn in bands of about this many bytes, so the scratch stays small
// and warm whatever the rectangle's size.
constexpr std::size_t kBandBytes = 256 * 1024;

struct FreeDeleter {
    void operator()(void* block) const { std::free(block); }
};

bool IsDepth(int bytesPerPixel) {
    return bytesPerPixel >= 1 && bytesPerPixel <= 3;
}

long FloorTo(long value, long block) {
    long rest = value % block;
    return rest < 0 ? value - rest - block : value - rest;
}

long CeilTo(long value, long block) {
    return -FloorTo(-value, block);
}

long Scale(long value, long to, long from) {
    return long(std::int64_t(value) * to / from);
}

// A BMP's colour masks or palette, after its 40-byte header.
DWORD ColourTableBytes(int bits) {
    if (bits == 16 || bits == 32) {
        return 3 * sizeof(DWORD);
    }
    return bits <= 8 ? DWORD(sizeof(RGBQUAD)) << bits : 0;
}

// A region of a few rectangles at once.
HRGN RegionOfRects(RECT const* rects, std::size_t count) {
    std::vector<unsigned char> buffer(sizeof(RGNDATAHEADER) + count * sizeof(RECT));
    auto* data = reinterpret_cast<RGNDATA*>(buffer.data());
    data->rdh.dwSize = sizeof(RGNDATAHEADER);
    data->rdh.iType = RDH_RECTANGLES;
    data->rdh.nCount = DWORD(count);
    data->rdh.nRgnSize = DWORD(count * sizeof(RECT));
    SetRectEmpty(&data->rdh.rcBound);
    for (std::size_t i = 0; i < count; ++i) {
        UnionRect(&data->rdh.rcBound, &data->rdh.rcBound, &rects[i]);
    }
    std::memcpy(data->Buffer, rects, count * sizeof(RECT));
    return ExtCreateRegion(nullptr, DWORD(buffer.size()), data);
}

bool WriteFileBytes(HANDLE file, void const* data, std::uint64_t size) {
    DWORD written = 0;
    return size <= MAXDWORD && WriteFile(file, data, DWORD(size), &written, nullptr) && written == size;
}

}  // namespace

bool DrawingHelper::DrawableArea(HDC dc, RECT& area) {
    if (GetObjectType(dc) == OBJ_MEMDC) {
        BITMAP bitmap = {};
        HGDIOBJ selected = GetCurrentObject(dc, OBJ_BITMAP);
        if (!selected || !GetObject(selected, sizeof bitmap, &bitmap)) {
            return false;
        }
        area = RECT{0, 0, bitmap.bmWidth, bitmap.bmHeight};
        return true;
    }
    return GetClipBox(dc, &area) != ERROR;
}

// Draws the part `clip` of `rect`, whose pixels are complete, through a top-down DIB: B, G, R
// rows as they are (straight from the packet when they are DIB rows already), smaller pixels
// expanded to 32 bits, which GDI copies fastest. Large areas go in bands.
void DrawingHelper::Paint(HDC dc, RECT const& rect, RECT const& clip, unsigned char const* pixels,
                          int bytesPerPixel) {
    std::size_t width = std::size_t(rect.right - rect.left);
    std::size_t clipWidth = std::size_t(clip.right - clip.left);
    long clipHeight = clip.bottom - clip.top;
    std::size_t rowBytes = width * bytesPerPixel;
    unsigned char const* first = pixels + std::size_t(clip.top - rect.top) * rowBytes +
                                 std::size_t(clip.left - rect.left) * bytesPerPixel;
    int dibBits = bytesPerPixel == 3 ? 24 : 32;
    std::size_t stride = (clipWidth * dibBits / 8 + 3) & ~std::size_t(3);
    if (bytesPerPixel == 3 && clipWidth == width && stride == rowBytes) {
        BITMAPINFO info = ScreenGrab::TopDownInfo(long(clipWidth), clipHeight, 24);
        SetDIBitsToDevice(dc, clip.left, clip.top, DWORD(clipWidth), DWORD(clipHeight), 0, 0, 0,
                          UINT(clipHeight), first, &info, DIB_RGB_COLORS);
        return;
    }
    long bandRows = long(std::max<std::size_t>(1, std::min<std::size_t>(kBandBytes / stride, clipHeight)));
    std::unique_ptr<unsigned char, FreeDeleter> scratch(
        static_cast<unsigned char*>(std::malloc(stride * std::size_t(bandRows))));
    if (!scratch) {
        return;
    }
    for (long top = 0; top < clipHeight; top += bandRows) {
        long rows = std::min(bandRows, clipHeight - top);
        for (long y = 0; y < rows; ++y) {
            unsigned char const* from = first + std::size_t(top + y) * rowBytes;
            unsigned char* to = scratch.get() + stride * std::size_t(y);
            if (bytesPerPixel == 3) {
                std::memcpy(to, from, clipWidth * 3);
            } else {
                PixelExpansion::ExpandRow(from, clipWidth, bytesPerPixel,
                                          reinterpret_cast<std::uint32_t*>(to));
            }
        }
        BITMAPINFO info = ScreenGrab::TopDownInfo(long(clipWidth), rows, dibBits);
        SetDIBitsToDevice(dc, clip.left, clip.top + top, DWORD(clipWidth), DWORD(rows), 0, 0, 0, UINT(rows),
                          scratch.get(), &info, DIB_RGB_COLORS);
    }
}

void DrawingHelper::DrawSingleRectangle(HDC dc, RECT* rect, void* pixels, unsigned long available,
                                        int bytesPerPixel) {
    RECT area;
    RECT clip;
    if (!dc || !rect || !pixels || !IsDepth(bytesPerPixel) || rect->right < rect->left ||
        rect->bottom < rect->top) {
        return;
    }
    std::uint64_t bytes = std::uint64_t(std::int64_t(rect->right) - rect->left) *
                          std::uint64_t(std::int64_t(rect->bottom) - rect->top) *
                          std::uint64_t(bytesPerPixel);
    if (bytes > available || !DrawableArea(dc, area) || !IntersectRect(&clip, rect, &area)) {
        return;
    }
    Paint(dc, *rect, clip, static_cast<unsigned char const*>(pixels), bytesPerPixel);
}

HRGN DrawingHelper::DrawRectangle(HDC dc, void const* packet, unsigned long size, int bytesPerPixel,
                                  bool wantRegion) {
    ChangedRegion changed;
    RECT area;
    if (dc && IsDepth(bytesPerPixel) && DrawableArea(dc, area)) {
        ChangePacketReader reader(packet, size, bytesPerPixel);
        ChangePacketRecord record;
        RECT clip;
        while (reader.Next(record)) {
            if (IntersectRect(&clip, &record.rect, &area)) {
                Paint(dc, record.rect, clip, record.pixels, bytesPerPixel);
                if (wantRegion) {
                    changed.Add(clip);
                }
            }
        }
        GdiFlush();
    }
    return wantRegion ? changed.Make() : nullptr;
}

void DrawingHelper::DrawRectangleToWindow(HWND window, long x, long y, void* packet, unsigned long size,
                                          int bytesPerPixel) {
    if (!window) {
        return;  // a null window would invalidate every window of the desktop
    }
    ChangePacketReader reader(packet, size, bytesPerPixel);
    ChangePacketRecord record;
    while (reader.Next(record)) {
        OffsetRect(&record.rect, int(x), int(y));
        InvalidateRect(window, &record.rect, TRUE);
    }
    UpdateWindow(window);
}

void DrawingHelper::DockRect(RECT& rect, int blockWidth, int blockHeight) {
    if (blockWidth > 0) {
        rect.left = FloorTo(rect.left, blockWidth);
        rect.right = CeilTo(rect.right, blockWidth);
    }
    if (blockHeight > 0) {
        rect.top = FloorTo(rect.top, blockHeight);
        rect.bottom = CeilTo(rect.bottom, blockHeight);
    }
}

void DrawingHelper::ScaleRect(RECT const& source, RECT& target, SIZE sourceSize, SIZE targetSize) {
    if (sourceSize.cx <= 0 || sourceSize.cy <= 0) {
        target = RECT{0, 0, 0, 0};
        return;
    }
    target = RECT{Scale(source.left, targetSize.cx, sourceSize.cx),
                  Scale(source.top, targetSize.cy, sourceSize.cy),
                  Scale(source.right, targetSize.cx, sourceSize.cx),
                  Scale(source.bottom, targetSize.cy, sourceSize.cy)};
}

void DrawingHelper::ScaleRect(RECT& rect, float scaleX, float scaleY) {
    rect = RECT{long(rect.left * scaleX), long(rect.top * scaleY), long(rect.right * scaleX),
                long(rect.bottom * scaleY)};
}

void DrawingHelper::DockAndScaleRect(RECT& source, RECT& target, SIZE sourceSize, SIZE targetSize) {
    long width = std::gcd(targetSize.cx, sourceSize.cx);
    long height = std::gcd(targetSize.cy, sourceSize.cy);
    DockRect(source, width ? int(sourceSize.cx / width) : 0, height ? int(sourceSize.cy / height) : 0);
    ScaleRect(source, target, sourceSize, targetSize);
}

HRGN DrawingHelper::CreateStretchRgn(HRGN region, float scaleX, float scaleY, int dx, int dy) {
    DWORD size = region ? GetRegionData(region, 0, nullptr) : 0;
    if (size == 0) {
        return nullptr;
    }
    std::unique_ptr<RGNDATA, FreeDeleter> data(static_cast<RGNDATA*>(std::malloc(size)));
    if (!data || GetRegionData(region, size, data.get()) != size) {
        return nullptr;
    }
    XFORM transform = {scaleX, 0, 0, scaleY, 0, 0};
    HRGN stretched = ExtCreateRegion(&transform, size, data.get());
    if (stretched) {
        OffsetRgn(stretched, dx, dy);
    }
    return stretched;
}

int DrawingHelper::SaveHdc2Bitmap(HDC dc, wchar_t const* path) {
    HGDIOBJ selected = dc ? GetCurrentObject(dc, OBJ_BITMAP) : nullptr;
    BITMAP bitmap = {};
    if (!selected || !path || !GetObject(selected, sizeof bitmap, &bitmap) || bitmap.bmHeight <= 0) {
        return 0;
    }
    int bits = bitmap.bmBitsPixel * bitmap.bmPlanes;
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[256];
    } info = {};
    DWORD headerBytes = sizeof(BITMAPINFOHEADER) + ColourTableBytes(bits);
    std::uint64_t stride = (std::uint64_t(bitmap.bmWidth) * bits + 31) / 32 * 4;
    std::uint64_t imageBytes = stride * std::uint64_t(bitmap.bmHeight);
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = bitmap.bmWidth;
    info.header.biHeight = bitmap.bmHeight;
    info.header.biPlanes = 1;
    info.header.biBitCount = WORD(bits);
    info.header.biCompression = bits == 16 || bits == 32 ? BI_BITFIELDS : BI_RGB;
    info.header.biSizeImage = DWORD(imageBytes);
    std::unique_ptr<unsigned char, FreeDeleter> pixels(
        imageBytes < MAXDWORD ? static_cast<unsigned char*>(std::malloc(imageBytes)) : nullptr);
    if (!pixels || GetDIBits(dc, HBITMAP(selected), 0, UINT(bitmap.bmHeight), pixels.get(),
                             reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS) != bitmap.bmHeight) {
        return 0;
    }
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = DWORD(sizeof file + headerBytes);
    file.bfSize = DWORD(file.bfOffBits + imageBytes);
    HANDLE handle =
        CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return 0;
    }
    bool written = WriteFileBytes(handle, &file, sizeof file) && WriteFileBytes(handle, &info, headerBytes) &&
                   WriteFileBytes(handle, pixels.get(), imageBytes);
    CloseHandle(handle);
    return written ? 1 : 0;
}

void ChangedRegion::Add(RECT const& rect) {
    if (rect.left < rect.right && rect.top < rect.bottom) {
        mRects.push_back(rect);
    }
}

// Joins regions as a binary counter adds ones: a region of 2^k chunks is joined only with
// another of 2^k, so every rectangle takes part in about log n joins.
HRGN ChangedRegion::Make() const {
    std::vector<std::pair<HRGN, std::size_t>> partial;  // regions and their chunk counts, larger first
    bool failed = false;
    for (std::size_t at = 0; at < mRects.size() && !failed; at += kRegionChunk) {
        HRGN region = RegionOfRects(&mRects[at], std::min(kRegionChunk, mRects.size() - at));
        std::size_t chunks = 1;
        while (region && !partial.empty() && partial.back().second == chunks) {
            failed |= CombineRgn(partial.back().first, partial.back().first, region, RGN_OR) == ERROR;
            DeleteObject(region);
            region = partial.back().first;
            chunks += partial.back().second;
            partial.pop_back();
        }
        failed |= region == nullptr;
        if (region) {
            partial.emplace_back(region, chunks);
        }
    }
    HRGN result = failed ? nullptr : CreateRectRgn(0, 0, 0, 0);
    for (auto const& piece : partial) {
        if (result && CombineRgn(result, result, piece.first, RGN_OR) == ERROR) {
            DeleteObject(result);
            result = nullptr;
        }
        DeleteObject(piece.first);
    }
    return result;
}
