#include <gtest/gtest.h>

#include <windows.h>

#include <shlobj.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "LogCapture.h"
#include "input/ClipboardHelper.h"
#include "network/ControlMessages.h"

namespace {

using Bytes = std::vector<unsigned char>;
using Records = std::vector<std::pair<std::uint32_t, Bytes>>;

Bytes Narrow(std::string const& text) {
    return Bytes(text.begin(), text.end());
}

Bytes Wide(std::wstring const& text) {
    auto begin = reinterpret_cast<unsigned char const*>(text.c_str());
    return Bytes(begin, begin + (text.size() + 1) * sizeof(wchar_t));
}

void Append(Bytes& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<unsigned char>(value >> shift));
    }
}

Bytes Payload(std::uint32_t count, std::vector<std::pair<std::uint32_t, std::string>> const& records) {
    Bytes out;
    Append(out, count);
    for (auto const& record : records) {
        Append(out, record.first);
        Append(out, static_cast<std::uint32_t>(record.second.size()));
        out.insert(out.end(), record.second.begin(), record.second.end());
    }
    return out;
}

// The payload of the local clipboard's message.
Bytes SentPayload() {
    boost::shared_ptr<ClipboardNetMsg> message = ClipboardHelper::CreateClipboardMessage();
    unsigned char const* data = message->GetClipboardData();
    return data ? Bytes(data, data + message->GetClipboardDataSize()) : Bytes();
}

// The records of a payload, which must hold exactly as many whole records as it counts.
Records Parse(Bytes const& payload) {
    auto u32 = [&](std::size_t at) {
        std::uint32_t value;
        std::memcpy(&value, &payload[at], 4);
        return value;
    };
    Records records;
    std::size_t at = 4;
    for (; payload.size() >= at + 8 && payload.size() - at - 8 >= u32(at + 4); at += 8 + u32(at + 4)) {
        records.emplace_back(u32(at),
                             Bytes(payload.begin() + at + 8, payload.begin() + at + 8 + u32(at + 4)));
    }
    EXPECT_EQ(at, std::max<std::size_t>(payload.size(), 4)) << "whole records only";
    EXPECT_EQ(payload.size() < 4 ? 0u : u32(0), records.size());
    return records;
}

Records Sent() {
    return Parse(SentPayload());
}

void Apply(Bytes const& payload) {
    ClipboardHelper::ProcessClipboardMessage(ClipboardNetMsg(payload));
}

bool Open() {
    for (int i = 0; i < 100; ++i) {
        if (OpenClipboard(nullptr)) {
            return true;
        }
        Sleep(10);  // another thread of this test may hold it a moment longer
    }
    ADD_FAILURE() << "clipboard busy";
    return false;
}

void SetLocal(std::vector<std::pair<UINT, Bytes>> const& formats = {}) {
    ASSERT_TRUE(Open());
    EmptyClipboard();
    for (auto const& format : formats) {
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, format.second.size());
        std::memcpy(GlobalLock(block), format.second.data(), format.second.size());
        GlobalUnlock(block);
        EXPECT_TRUE(SetClipboardData(format.first, block));
    }
    CloseClipboard();
}

// The bytes of a format on the local clipboard; empty when it has none.
Bytes Local(UINT format) {
    Bytes bytes;
    if (Open()) {
        HANDLE handle = GetClipboardData(format);
        if (void const* data = handle ? GlobalLock(handle) : nullptr) {
            bytes.assign(static_cast<unsigned char const*>(data),
                         static_cast<unsigned char const*>(data) + GlobalSize(handle));
            GlobalUnlock(handle);
        }
        CloseClipboard();
    }
    return bytes;
}

// Unicode text comes with the text formats the system makes from it, each as a record in
// enumeration order; the other side sets each under its number, on top of what it holds.
TEST(ClipboardHelperTest, TextTravelsInEveryFormatItHas) {
    std::wstring const text = L"Gr\u00fc\u00dfe 42";
    SetLocal({{CF_UNICODETEXT, Wide(text)}});
    std::vector<UINT> order;
    ASSERT_TRUE(Open());
    for (UINT format = EnumClipboardFormats(0); format; format = EnumClipboardFormats(format)) {
        order.push_back(format);
    }
    CloseClipboard();
    ASSERT_GE(order.size(), 3u) << "Unicode text, text, locale, ...";
    Bytes const payload = SentPayload();
    std::vector<UINT> formats;
    std::map<UINT, Bytes> sent;
    for (auto const& record : Parse(payload)) {
        formats.push_back(record.first);
        sent[record.first] = record.second;
    }
    EXPECT_EQ(formats, order);
    EXPECT_EQ(sent[CF_UNICODETEXT], Wide(text));
    ASSERT_TRUE(sent.count(CF_TEXT) && sent.count(CF_LOCALE));

    UINT const kept = RegisterClipboardFormatW(L"Corvane Kept Format");
    SetLocal({{kept, Narrow("kept")}});
    Apply(payload);
    for (UINT format : {UINT(CF_UNICODETEXT), UINT(CF_TEXT), UINT(CF_LOCALE)}) {
        EXPECT_EQ(Local(format), sent[format]) << format;
    }
    EXPECT_EQ(Local(kept), Narrow("kept")) << "not emptied first";
}

// A registered format travels behind its name and arrives under the local number of that
// name; without a name it is skipped. Standard formats keep their numbers. Handles are not
// bytes, and an empty clipboard sends no count at all.
TEST(ClipboardHelperTest, RegisteredFormatTravelsByName) {
    UINT const html = RegisterClipboardFormatW(L"HTML Format");
    SetLocal({{CF_RIFF, Narrow("riff")}, {html, Narrow("<b>hi</b>")}});
    EXPECT_EQ(Sent(),
              (Records{{CF_RIFF, Narrow("riff")}, {0, Narrow("HTML Format")}, {html, Narrow("<b>hi</b>")}}));

    UINT const local = RegisterClipboardFormatW(L"Corvane Travelling Format");
    UINT const remote = local == 0xC123 ? 0xC124 : 0xC123;  // the sender's number for it
    SetLocal();
    Apply(Payload(3, {{0, "Corvane Travelling Format"}, {remote, "payload"}, {CF_WAVE, "wave"}}));
    EXPECT_EQ(Local(local), Narrow("payload"));
    EXPECT_TRUE(Local(remote).empty());
    EXPECT_EQ(Local(CF_WAVE), Narrow("wave"));
    SetLocal();
    Apply(Payload(2, {{local, "no name"}, {CF_WAVE, "after"}}));
    EXPECT_TRUE(Local(local).empty()) << "a registered record without its name";
    EXPECT_EQ(Local(CF_WAVE), Narrow("after"));

    SetLocal();
    EXPECT_TRUE(SentPayload().empty()) << "no count at all";
    SetLocal({{CF_RIFF, Narrow("still here")}});
    Apply(Bytes());
    EXPECT_EQ(Local(CF_RIFF), Narrow("still here"));
    ASSERT_TRUE(Open());
    EmptyClipboard();
    ASSERT_TRUE(SetClipboardData(CF_BITMAP, CreateBitmap(8, 8, 1, 32, nullptr)));  // the clipboard owns it
    CloseClipboard();
    for (auto const& record : Sent()) {
        EXPECT_NE(record.first, UINT(CF_BITMAP)) << "a handle, not bytes";
        EXPECT_NE(record.first, UINT(CF_PALETTE));
    }
}

// Counts and sizes from the peer never lead past the payload; formats whose data would be
// taken for a handle are refused; a long format logs only its first 80 bytes.
TEST(ClipboardHelperTest, HostilePayloads) {
    struct Case {
        char const* name;
        Bytes payload;
        std::map<UINT, std::string> expected;  // what is set afterwards; other probed formats stay unset
        char const* logged;
    };
    Bytes truncated = Payload(2, {{CF_WAVE, "whole"}, {CF_RIFF, "cut short"}});
    truncated.resize(truncated.size() - 3);
    Bytes header = Payload(1, {});
    Append(header, CF_RIFF);
    Bytes huge = header;
    Append(huge, 0xFFFFFFF0u);
    huge.insert(huge.end(), 16, 'y');
    Case const cases[] = {
        {"count past the records",
         Payload(5, {{CF_WAVE, "one"}}),
         {{CF_WAVE, "one"}},
         "Clipboard payload ends inside record 1 of 5"},
        {"largest count", Payload(0xFFFFFFFFu, {{CF_WAVE, "one"}}), {{CF_WAVE, "one"}}, "inside record 1 of"},
        {"data cut short", truncated, {{CF_WAVE, "whole"}}, "inside record 1 of 2"},
        {"header cut short", header, {}, "inside record 0 of 1"},
        {"size past the end", huge, {}, "inside record 0 of 1"},
        {"three bytes", Bytes{1, 0, 0}, {}, nullptr},
        {"bitmap from bytes",
         Payload(2, {{CF_BITMAP, "12345678"}, {CF_WAVE, "w"}}),
         {{CF_WAVE, "w"}},
         "Skipped clipboard format 2"},
        {"metafile from bytes",
         Payload(1, {{CF_METAFILEPICT, "1234567812345678"}}),
         {},
         "Skipped clipboard format 3"},
        {"beyond the format range", Payload(1, {{0x1000B, "riff"}}), {}, "Skipped clipboard format 65547"},
        {"a name before a standard format",
         Payload(2, {{0, "Some Name"}, {CF_RIFF, "r"}}),
         {{CF_RIFF, "r"}},
         nullptr},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        SetLocal();
        LogCapture log;
        Apply(c.payload);
        for (UINT format : {UINT(CF_WAVE), UINT(CF_RIFF), UINT(CF_BITMAP), UINT(CF_METAFILEPICT)}) {
            auto wanted = c.expected.find(format);
            EXPECT_EQ(Local(format), Narrow(wanted == c.expected.end() ? "" : wanted->second)) << format;
        }
        EXPECT_TRUE(!c.logged || log.Contains(c.logged)) << c.logged;
    }
    LogCapture log;
    Apply(Payload(1, {{CF_WAVE, std::string(100, 'x')}}));
    EXPECT_TRUE(log.Contains("Set clipboard data format:12 data" + std::string(80, 'x')));
    EXPECT_FALSE(log.Contains(std::string(81, 'x')));
}

// How many registered formats have a name that starts with `prefix`.
int RegisteredNames(std::wstring const& prefix) {
    int found = 0;
    wchar_t name[256];
    for (UINT format = 0xC000; format <= 0xFFFF; ++format) {
        int const length = GetClipboardFormatNameW(format, name, 256);
        found += length > 0 && std::wstring(name, length).compare(0, prefix.size(), prefix) == 0;
    }
    return found;
}

// A registered name stays for the whole session and the system holds about 16,000: a message
// registers names only for records it sets, and at most 64 (one of 20,000 names with empty
// data left RegisterClipboardFormatW and RegisterWindowMessageW failing with error 8).
// Private formats and file-drop lists (paths on the other machine) are neither sent nor set.
TEST(ClipboardHelperTest, PeerNamesAndPrivateFormatsAreBounded) {
    std::string const prefix =
        "Corvane Flood " + std::to_string(GetCurrentProcessId()) + "." + std::to_string(GetTickCount()) + " ";
    std::wstring const widePrefix(prefix.begin(), prefix.end());
    struct Case {
        std::string tag;
        int names;
        std::string data;
        int registered;
    };
    for (Case const& c :
         {Case{"flood ", 20000, "", 0}, Case{"empty ", 200, "", 0}, Case{"set ", 100, "x", 64}}) {
        SCOPED_TRACE(c.tag);
        std::vector<std::pair<std::uint32_t, std::string>> records;
        for (int i = 0; i < c.names; ++i) {
            records.push_back({0, prefix + c.tag + std::to_string(i)});
            records.push_back({0xC000u + i % 0x4000, c.data});
        }
        SetLocal();
        Apply(Payload(static_cast<std::uint32_t>(records.size()), records));
        EXPECT_EQ(RegisteredNames(widePrefix + std::wstring(c.tag.begin(), c.tag.end())), c.registered);
    }
    EXPECT_EQ(Local(RegisterClipboardFormatW((widePrefix + L"set 0").c_str())), Narrow("x"));
    EXPECT_NE(RegisterWindowMessageW((widePrefix + L"message").c_str()), 0u);

    SetLocal();
    Apply(Payload(
        4, {{CF_PRIVATEFIRST, "private"}, {CF_PRIVATELAST, "private"}, {CF_HDROP, "C:\\x"}, {CF_WAVE, "w"}}));
    for (UINT format : {UINT(CF_PRIVATEFIRST), UINT(CF_PRIVATELAST), UINT(CF_HDROP)}) {
        EXPECT_TRUE(Local(format).empty()) << "set format " << format;
    }
    EXPECT_EQ(Local(CF_WAVE), Narrow("w"));

    Bytes drop(sizeof(DROPFILES), 0);
    reinterpret_cast<DROPFILES*>(drop.data())->pFiles = sizeof(DROPFILES);
    reinterpret_cast<DROPFILES*>(drop.data())->fWide = TRUE;
    Bytes const list = Wide(std::wstring(L"C:\\windows\\win.ini") + L'\0');
    drop.insert(drop.end(), list.begin(), list.end());
    SetLocal({{CF_PRIVATEFIRST, Narrow("private")}, {CF_HDROP, drop}, {CF_RIFF, Narrow("r")}});
    std::vector<UINT> sent;
    for (auto const& record : Sent()) {
        sent.push_back(record.first);
    }
    EXPECT_EQ(std::count(sent.begin(), sent.end(), UINT(CF_RIFF)), 1);
    EXPECT_EQ(std::count(sent.begin(), sent.end(), UINT(CF_PRIVATEFIRST)), 0);
    EXPECT_EQ(std::count(sent.begin(), sent.end(), UINT(CF_HDROP)), 0);
}

}  // namespace
