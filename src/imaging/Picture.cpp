#include "imaging/Picture.h"

#include <wincodec.h>

#include <algorithm>
#include <memory>
#include <sstream>

#include "foundation/Errors.h"
#include "imaging/JpegEncoder.h"
#include "imaging/PackedPixels.h"
#include "imaging/PictureHeader.h"
#include "imaging/Resampler.h"
#include "imaging/WicCodec.h"

namespace {

using PackedPixels::kOpaque;

// The 16 colours of the standard VGA palette, as 0xRRGGBB.
constexpr std::uint32_t kVgaColours[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                                           0x008080, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00,
                                           0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};

using PixelReader = std::uint32_t (*)(unsigned char const*);

PixelReader ReaderFor(int bitsPerPixel) {
    switch (bitsPerPixel) {
        case 8:
            return PackedPixels::Rgb332::Read;
        case 16:
            return PackedPixels::Rgb565::Read;
        case 24:
            return PackedPixels::Bgr24::Read;
        case 32:
            return PackedPixels::Bgra32::Read;
        default:
            Raise(BaseError("Unsupported bits per pixel: " + std::to_string(bitsPerPixel)));
    }
}

// Raises unless `height` rows of `width` pixels, `bytesPerLine` apart, can be read at `pixels`.
void CheckRows(void const* pixels, int width, int height, int bitsPerPixel, std::size_t bytesPerLine) {
    ReaderFor(bitsPerPixel);
    Picture::CheckSize(static_cast<std::uint64_t>(std::max(width, 0)),
                       static_cast<std::uint64_t>(std::max(height, 0)));
    if (!pixels || bytesPerLine < static_cast<std::size_t>(bitsPerPixel) / 8 * width) {
        Raise(BaseError("Invalid pixel rows for a picture"));
    }
}

BITMAPINFO TopDown32(int width, int height) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

std::string Narrow(std::wstring const& text) {
    int length = WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                     nullptr, nullptr);
    std::string result(static_cast<std::size_t>(std::max(length, 0)), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), result.data(), length,
                        nullptr, nullptr);
    return result;
}

using Handle = std::unique_ptr<void, decltype(&CloseHandle)>;

Handle OpenFile(std::wstring const& path, DWORD access, DWORD disposition, char const* what) {
    HANDLE file = CreateFileW(path.c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        Raise(SystemError(what + Narrow(path), GetLastError()));
    }
    return Handle(file, CloseHandle);
}

std::vector<unsigned char> ReadFileBytes(std::wstring const& path) {
    Handle file = OpenFile(path, GENERIC_READ, OPEN_EXISTING, "Cannot open picture file ");
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file.get(), &size)) {
        Raise(SystemError("Cannot read picture file " + Narrow(path), GetLastError()));
    }
    if (static_cast<std::uint64_t>(size.QuadPart) > Picture::kMaxEncodedBytes) {
        Raise(BaseError("Picture file too large: " + Narrow(path)));
    }
    std::vector<unsigned char> bytes(static_cast<std::size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() &&
        (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
         read != bytes.size())) {
        Raise(SystemError("Cannot read picture file " + Narrow(path), GetLastError()));
    }
    return bytes;
}

void WriteFileBytes(std::wstring const& path, std::vector<unsigned char> const& bytes) {
    Handle file = OpenFile(path, GENERIC_WRITE, CREATE_ALWAYS, "Cannot create picture file ");
    DWORD written = 0;
    if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size()) {
        Raise(SystemError("Cannot write picture file " + Narrow(path), GetLastError()));
    }
}

// The distinct colours of an opaque picture when there are at most `most`, else nothing.
std::vector<std::uint32_t> FewColours(std::vector<std::uint32_t> const& pixels, std::size_t most) {
    std::vector<std::uint32_t> colours;
    std::uint32_t last = ~pixels.front();  // so that the first pixel is looked at
    for (std::uint32_t pixel : pixels) {
        if (pixel == last) {
            continue;
        }
        if ((pixel & kOpaque) != kOpaque) {
            return {};
        }
        if (std::find(colours.begin(), colours.end(), pixel) == colours.end()) {
            if (colours.size() == most) {
                return {};
            }
            colours.push_back(pixel);
        }
        last = pixel;
    }
    return colours;
}

// Rows of palette indices, most significant bits first, each row starting on a byte.
std::vector<unsigned char> PackIndices(std::vector<std::uint32_t> const& pixels, int width, int height,
                                       std::vector<std::uint32_t> const& palette, int bits,
                                       std::size_t stride) {
    std::vector<unsigned char> rows(stride * height);
    std::size_t index = 0;
    for (int y = 0; y < height; ++y) {
        unsigned char* row = rows.data() + stride * y;
        for (int x = 0; x < width; ++x) {
            std::uint32_t pixel = pixels[static_cast<std::size_t>(y) * width + x];
            if (palette[index] != pixel) {
                index = std::find(palette.begin(), palette.end(), pixel) - palette.begin();
            }
            int shift = 8 - bits - (x * bits) % 8;
            row[x * bits / 8] |= static_cast<unsigned char>(index << shift);
        }
    }
    return rows;
}

std::uint32_t NearestVgaColour(std::uint32_t pixel) {
    auto distance = [pixel](std::uint32_t colour) {
        int db = static_cast<int>(pixel & 0xFF) - static_cast<int>(colour & 0xFF);
        int dg = static_cast<int>(pixel >> 8 & 0xFF) - static_cast<int>(colour >> 8 & 0xFF);
        int dr = static_cast<int>(pixel >> 16 & 0xFF) - static_cast<int>(colour >> 16 & 0xFF);
        return db * db + dg * dg + dr * dr;
    };
    return *std::min_element(std::begin(kVgaColours), std::end(kVgaColours),
                             [&](std::uint32_t a, std::uint32_t b) { return distance(a) < distance(b); });
}

}  // namespace

Picture::Picture() : mWidth(0), mHeight(0) {}

Picture::Picture(int width, int height) : mWidth(width), mHeight(height) {
    CheckSize(static_cast<std::uint64_t>(std::max(width, 0)),
              static_cast<std::uint64_t>(std::max(height, 0)));
    mPixels.assign(static_cast<std::size_t>(width) * height, kOpaque);
}

void Picture::CheckSize(std::uint64_t width, std::uint64_t height) {
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide || width * height > kMaxPixels) {
        std::ostringstream text;
        text << "Invalid picture size " << width << "x" << height;
        Raise(BaseError(text.str()));
    }
}

Picture Picture::FromPixels(void const* pixels, int width, int height, int bitsPerPixel,
                            std::size_t bytesPerLine) {
    CheckRows(pixels, width, height, bitsPerPixel, bytesPerLine);
    PixelReader read = ReaderFor(bitsPerPixel);
    Picture picture(width, height);
    std::size_t bytesPerPixel = static_cast<std::size_t>(bitsPerPixel) / 8;
    auto const* row = static_cast<unsigned char const*>(pixels);
    std::uint32_t* out = picture.mPixels.data();
    for (int y = 0; y < height; ++y, row += bytesPerLine) {
        for (int x = 0; x < width; ++x) {
            *out++ = read(row + x * bytesPerPixel);
        }
    }
    return picture;
}

std::vector<unsigned char> Picture::EncodeJpeg(void const* pixels, int width, int height, int bitsPerPixel,
                                               std::size_t bytesPerLine, int jpegQuality) {
    CheckRows(pixels, width, height, bitsPerPixel, bytesPerLine);
    return JpegEncoder::Encode(pixels, width, height, bitsPerPixel, bytesPerLine, jpegQuality);
}

Picture Picture::FromBitmap(HBITMAP bitmap) {
    BITMAP description = {};
    if (!bitmap || !GetObjectW(bitmap, sizeof(description), &description)) {
        Raise(BaseError("Not a bitmap"));
    }
    Picture picture(description.bmWidth, description.bmHeight);
    BITMAPINFO info = TopDown32(picture.mWidth, picture.mHeight);
    HDC screen = GetDC(nullptr);
    int lines = GetDIBits(screen, bitmap, 0, picture.mHeight, picture.mPixels.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    if (lines != picture.mHeight) {
        Raise(SystemError("Cannot read the bitmap's pixels", GetLastError()));
    }
    for (std::uint32_t& pixel : picture.mPixels) {
        pixel |= kOpaque;
    }
    return picture;
}

Picture Picture::Decode(void const* data, std::size_t size, std::uint64_t maxPixels) {
    if (size > kMaxEncodedBytes) {
        Raise(BaseError("Encoded picture too large"));
    }
    auto const* bytes = static_cast<unsigned char const*>(data);
    PictureHeader header = PictureHeader::Read(bytes, data ? size : 0);
    CheckSize(header.width, header.height);
    std::uint64_t limit = std::min(maxPixels, kMaxPixels);
    if (static_cast<std::uint64_t>(header.width) * header.height > limit || header.decodedPixels > limit) {
        Raise(BaseError("Picture holds too many pixels"));
    }
    return WicCodec::Decode(bytes, size, header.container);
}

Picture Picture::Load(std::wstring const& path, std::uint64_t maxPixels) {
    std::vector<unsigned char> bytes = ReadFileBytes(path);
    return Decode(bytes.data(), bytes.size(), maxPixels);
}

std::vector<unsigned char> Picture::GetBgr24() const {
    std::vector<unsigned char> bytes(mPixels.size() * 3);
    unsigned char* out = bytes.data();
    for (std::uint32_t pixel : mPixels) {
        *out++ = static_cast<unsigned char>(pixel);
        *out++ = static_cast<unsigned char>(pixel >> 8);
        *out++ = static_cast<unsigned char>(pixel >> 16);
    }
    return bytes;
}

Picture Picture::Resample(int width, int height) const {
    if (IsEmpty()) {
        Raise(BaseError("Cannot resample an empty picture"));
    }
    Picture result(width, height);
    Resampler::Resample(mPixels.data(), mWidth, mHeight, result.mPixels.data(), width, height);
    return result;
}

void Picture::Threshold(int level) {
    for (std::uint32_t& pixel : mPixels) {
        unsigned luminance =
            (299 * (pixel >> 16 & 0xFF) + 587 * (pixel >> 8 & 0xFF) + 114 * (pixel & 0xFF) + 500) / 1000;
        pixel = (pixel & kOpaque) | (static_cast<int>(luminance) > level ? 0xFFFFFF : 0);
    }
}

void Picture::ReduceTo16Colours() {
    std::uint32_t lastColour = 0;
    std::uint32_t lastMapped = NearestVgaColour(0);
    for (std::uint32_t& pixel : mPixels) {
        std::uint32_t colour = pixel & 0xFFFFFF;
        if (colour != lastColour) {
            lastColour = colour;
            lastMapped = NearestVgaColour(colour);
        }
        pixel = (pixel & kOpaque) | lastMapped;
    }
}

std::vector<unsigned char> Picture::Encode(Format format, int jpegQuality) const {
    if (IsEmpty()) {
        Raise(BaseError("Cannot encode an empty picture"));
    }
    return format == Format::Png ? EncodePng()
                                 : JpegEncoder::Encode(mPixels.data(), mWidth, mHeight, 32,
                                                       static_cast<std::size_t>(mWidth) * 4, jpegQuality);
}

std::vector<unsigned char> Picture::EncodePng() const {
    auto width = static_cast<std::uint32_t>(mWidth);
    auto height = static_cast<std::uint32_t>(mHeight);
    std::vector<std::uint32_t> palette = FewColours(mPixels, 16);
    if (!palette.empty()) {
        int bits = palette.size() <= 2 ? 1 : 4;
        std::uint32_t stride = (width * bits + 7) / 8;
        std::vector<unsigned char> rows = PackIndices(mPixels, mWidth, mHeight, palette, bits, stride);
        GUID format = bits == 1 ? GUID_WICPixelFormat1bppIndexed : GUID_WICPixelFormat4bppIndexed;
        return WicCodec::EncodePng(rows.data(), width, height, stride, format, palette);
    }
    bool opaque = std::all_of(mPixels.begin(), mPixels.end(), [](std::uint32_t p) { return p >= kOpaque; });
    if (opaque) {
        std::vector<unsigned char> rows = GetBgr24();
        return WicCodec::EncodePng(rows.data(), width, height, width * 3, GUID_WICPixelFormat24bppBGR, {});
    }
    return WicCodec::EncodePng(mPixels.data(), width, height, width * 4, GUID_WICPixelFormat32bppBGRA, {});
}

void Picture::Save(std::wstring const& path, Format format, int jpegQuality) const {
    WriteFileBytes(path, Encode(format, jpegQuality));
}

void Picture::Draw(HDC dc, int x, int y) const {
    Draw(dc, RECT{x, y, x + mWidth, y + mHeight});
}

void Picture::Draw(HDC dc, RECT const& target) const {
    if (IsEmpty()) {
        return;
    }
    BITMAPINFO info = TopDown32(mWidth, mHeight);
    if (!StretchDIBits(dc, target.left, target.top, target.right - target.left, target.bottom - target.top, 0,
                       0, mWidth, mHeight, mPixels.data(), &info, DIB_RGB_COLORS, SRCCOPY)) {
        Raise(BaseError("Cannot draw picture"));
    }
}
