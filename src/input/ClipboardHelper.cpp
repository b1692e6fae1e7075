#include "input/ClipboardHelper.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/CorvaneLogging.h"
#include "foundation/Errors.h"
#include "foundation/StringHelper.h"
#include "network/ControlMessages.h"

namespace {

constexpr UINT kNameRecord = 0;
constexpr UINT kFirstRegistered = 0xC000;
constexpr UINT kLastFormat = 0xFFFF;
constexpr std::size_t kLoggedBytes = 80;
constexpr int kMaxNameChars = 255;  // the system keeps no longer names
constexpr std::uint32_t kMaxNameBytes = kMaxNameChars * 3;
// Every registered name stays registered for the whole session, and the system holds only
// about 16,000: a message registers at most this many, more than any one copy offers.
constexpr int kMaxNamesPerMessage = 64;
// Each record set costs a block and a call into the system; a clipboard offers a few dozen.
constexpr std::uint32_t kMaxRecordsPerMessage = 512;

// Formats whose data is a handle (a bitmap, a palette, a metafile inside the block) mean
// nothing on another machine, and set from peer bytes they would be taken for handles.
// Private formats belong to the program that set them, and a file-drop list names paths on
// the machine it came from: neither is sent or set.
bool HoldsBytes(UINT format) {
    static UINT const handleFormats[] = {CF_BITMAP,          CF_METAFILEPICT,   CF_PALETTE,
                                         CF_ENHMETAFILE,     CF_OWNERDISPLAY,   CF_DSPBITMAP,
                                         CF_DSPMETAFILEPICT, CF_DSPENHMETAFILE, CF_HDROP};
    if (format == kNameRecord || format > kLastFormat ||
        (format >= CF_PRIVATEFIRST && format <= CF_GDIOBJLAST)) {
        return false;
    }
    return std::find(std::begin(handleFormats), std::end(handleFormats), format) == std::end(handleFormats);
}

void AppendU32(std::vector<unsigned char>& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<unsigned char>(value >> shift));
    }
}

void AppendRecord(std::vector<unsigned char>& out, UINT format, void const* data, std::size_t size) {
    AppendU32(out, format);
    AppendU32(out, static_cast<std::uint32_t>(size));
    auto bytes = static_cast<unsigned char const*>(data);
    out.insert(out.end(), bytes, bytes + size);
}

std::string RegisteredName(UINT format) {
    wchar_t name[kMaxNameChars + 1];
    int length = GetClipboardFormatNameW(format, name, kMaxNameChars + 1);
    if (length <= 0) {
        return std::string();
    }
    int bytes = WideCharToMultiByte(CP_UTF8, 0, name, length, nullptr, 0, nullptr, nullptr);
    std::string text(std::max(bytes, 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, name, length, &text[0], bytes, nullptr, nullptr);
    return text;
}

// Appends the format's record (after its name record when it is registered); returns how many
// records were appended.
std::uint32_t AppendFormat(std::vector<unsigned char>& out, UINT format) {
    HANDLE handle = HoldsBytes(format) ? GetClipboardData(format) : nullptr;
    SIZE_T const size = handle ? GlobalSize(handle) : 0;
    if (size == 0 || size > UINT32_MAX) {
        return 0;
    }
    std::string const name = format >= kFirstRegistered ? RegisteredName(format) : std::string();
    if (format >= kFirstRegistered && name.empty()) {
        return 0;
    }
    void const* data = GlobalLock(handle);
    if (!data) {
        return 0;
    }
    std::uint32_t records = 0;
    if (!name.empty()) {
        AppendRecord(out, kNameRecord, name.data(), name.size());
        ++records;
    }
    AppendRecord(out, format, data, size);
    GlobalUnlock(handle);
    return records + 1;
}

// Reads the payload front to back, never past its end.
class PayloadReader {
public:
    PayloadReader(unsigned char const* data, std::size_t size) : mData(data), mSize(size) {}

    bool ReadU32(std::uint32_t& value) {
        if (mSize - mAt < 4) {
            return false;
        }
        std::memcpy(&value, mData + mAt, 4);
        mAt += 4;
        return true;
    }

    // A whole record, or false (nothing consumed that matters) when it runs past the end.
    bool ReadRecord(std::uint32_t& format, std::uint32_t& size, unsigned char const*& bytes) {
        if (!ReadU32(format) || !ReadU32(size) || mSize - mAt < size) {
            return false;
        }
        bytes = mData + mAt;
        mAt += size;
        return true;
    }

private:
    unsigned char const* mData;
    std::size_t mSize;
    std::size_t mAt = 0;
};

std::string ErrorText() {
    return GetSystemErrorDescription(GetLastError());
}

// The local number for a record, 0 to skip it. A registered format goes by the name sent
// before it, never by its number, and takes one of the names `namesLeft`.
UINT LocalFormat(std::uint32_t format, std::string const& name, int& namesLeft) {
    if (format < kFirstRegistered || format > kLastFormat) {
        return HoldsBytes(format) ? format : 0;
    }
    if (name.empty() || name.size() > kMaxNameBytes || namesLeft == 0) {
        return 0;
    }
    --namesLeft;
    return RegisterClipboardFormatW(StringHelper::StrToWstr(name).c_str());
}

void SetFormat(UINT format, unsigned char const* bytes, std::uint32_t size) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
    if (!block) {
        CORVANE_LOG("Failed to allocate memory for clipboard data:" << ErrorText());
        return;
    }
    void* target = GlobalLock(block);
    if (!target) {
        GlobalFree(block);
        return;
    }
    std::memcpy(target, bytes, size);
    GlobalUnlock(block);
    CORVANE_LOG("Set clipboard data format:" << format << " data"
                                             << std::string(reinterpret_cast<char const*>(bytes),
                                                            std::min<std::size_t>(size, kLoggedBytes)));
    if (!SetClipboardData(format, block)) {
        CORVANE_LOG("Failed to set clipboard data:" << ErrorText());
        GlobalFree(block);
    }
}

void ApplyRecords(PayloadReader& reader) {
    std::uint32_t count = 0;
    reader.ReadU32(count);
    std::string name;
    int namesLeft = kMaxNamesPerMessage;
    for (std::uint32_t index = 0; index < count; ++index) {
        std::uint32_t format = 0;
        std::uint32_t size = 0;
        unsigned char const* bytes = nullptr;
        if (index == kMaxRecordsPerMessage) {
            CORVANE_LOG("Clipboard payload of " << count << " records: those after " << index << " skipped");
            return;
        }
        if (!reader.ReadRecord(format, size, bytes)) {
            CORVANE_LOG("Clipboard payload ends inside record " << index << " of " << count);
            return;
        }
        if (format == kNameRecord) {
            name.assign(reinterpret_cast<char const*>(bytes), size);
            continue;
        }
        // A name is registered only for a record that is set.
        UINT const local = size == 0 ? 0 : LocalFormat(format, name, namesLeft);
        name.clear();
        if (local == 0) {
            CORVANE_LOG("Skipped clipboard format " << format);
            continue;
        }
        SetFormat(local, bytes, size);
    }
}

}  // namespace

boost::shared_ptr<ClipboardNetMsg> ClipboardHelper::CreateClipboardMessage() {
    int const formats = CountClipboardFormats();
    bool const opened = OpenClipboard(nullptr) != FALSE;
    std::vector<unsigned char> payload;
    if (opened && formats != 0) {
        AppendU32(payload, 0);
        std::uint32_t records = 0;
        UINT format = 0;
        for (int step = 0; step < formats; ++step) {
            format = EnumClipboardFormats(format);
            if (format == 0) {
                break;
            }
            records += AppendFormat(payload, format);
        }
        std::memcpy(payload.data(), &records, 4);
    }
    if (opened) {
        CloseClipboard();
    }
    return boost::shared_ptr<ClipboardNetMsg>(new ClipboardNetMsg(payload));
}

void ClipboardHelper::ProcessClipboardMessage(ClipboardNetMsg const& message) {
    if (message.GetClipboardDataSize() == 0) {
        return;
    }
    if (!OpenClipboard(nullptr)) {
        CORVANE_LOG("Failed to open clipboard:" << ErrorText());
        return;
    }
    PayloadReader reader(message.GetClipboardData(), message.GetClipboardDataSize());
    ApplyRecords(reader);
    CloseClipboard();
}
