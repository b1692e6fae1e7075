#include <gtest/gtest.h>

#include <windows.h>

#include <shlobj.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "LogCapture.h"
#include "input/ClipboardHelper.h"
#include "network/ControlMessages.h"

namespace {

using Bytes = std::vector<unsigned char>;

struct Record {
    std::uint32_t format;
    Bytes data;
};

// The test's own reading of a payload: whole records only.
std::vector<Record> Records(Bytes const& payload, std::uint32_t* count = nullptr) {
    std::vector<Record> records;
    auto u32 = [&](std::size_t at) {
        std::uint32_t value;
        std::memcpy(&value, &payload[at], 4);
        return value;
    };
    if (payload.size() < 4) {
        return records;
    }
    std::uint32_t const total = u32(0);
    if (count) {
        *count = total;
    }
    std::size_t at = 4;
    for (std::uint32_t i = 0; i < total && payload.size() - at >= 8; ++i) {
        std::uint32_t const size = u32(at + 4);
        if (payload.size() - at - 8 < size) {
            break;
        }
        records.push_back(Record{u32(at), Bytes(payload.begin() + at + 8, payload.begin() + at + 8 + size)});
        at += 8 + size;
    }
    return records;
}

void Append(Bytes& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<unsigned char>(value >> shift));
    }
}

void AppendRecord(Bytes& out, std::uint32_t format, std::string const& data) {
    Append(out, format);
    Append(out, static_cast<std::uint32_t>(data.size()));
    out.insert(out.end(), data.begin(), data.end());
}

Bytes Payload(std::uint32_t count, std::vector<std::pair<std::uint32_t, std::string>> const& records) {
    Bytes out;
    Append(out, count);
    for (auto const& record : records) {
        AppendRecord(out, record.first, record.second);
    }
    return out;
}

Bytes PayloadOf(ClipboardNetMsg const& message) {
    unsigned char const* data = message.GetClipboardData();
    return data ? Bytes(data, data + message.GetClipboardDataSize()) : Bytes();
}

void Apply(Bytes const& payload) {
    ClipboardHelper::ProcessClipboardMessage(ClipboardNetMsg(payload));
}

bool OpenWithRetry() {
    for (int i = 0; i < 100; ++i) {
        if (OpenClipboard(nullptr)) {
            return true;
        }
        Sleep(10);
    }
    return false;
}

void EmptyLocalClipboard() {
    ASSERT_TRUE(OpenWithRetry());
    EmptyClipboard();
    CloseClipboard();
}

void SetLocal(std::vector<std::pair<UINT, Bytes>> const& formats) {
    ASSERT_TRUE(OpenWithRetry());
    EmptyClipboard();
    for (auto const& format : formats) {
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, format.second.size());
        std::memcpy(GlobalLock(block), format.second.data(), format.second.size());
        GlobalUnlock(block);
        EXPECT_TRUE(SetClipboardData(format.first, block));
    }
    CloseClipboard();
}

// The bytes of a format on the local clipboard; `present` false when it has none.
Bytes ReadLocal(UINT format, bool* present = nullptr) {
    Bytes bytes;
    if (present) {
        *present = false;
    }
    if (!OpenWithRetry()) {
        ADD_FAILURE() << "clipboard busy";
        return bytes;
    }
    if (HANDLE handle = GetClipboardData(format)) {
        if (void const* data = GlobalLock(handle)) {
            auto begin = static_cast<unsigned char const*>(data);
            bytes.assign(begin, begin + GlobalSize(handle));
            GlobalUnlock(handle);
            if (present) {
                *present = true;
            }
        }
    }
    CloseClipboard();
    return bytes;
}

bool HasLocal(UINT format) {
    bool present = false;
    ReadLocal(format, &present);
    return present;
}

Bytes Wide(std::wstring const& text) {
    auto begin = reinterpret_cast<unsigned char const*>(text.c_str());
    return Bytes(begin, begin + (text.size() + 1) * sizeof(wchar_t));
}

Bytes Narrow(std::string const& text) {
    return Bytes(text.begin(), text.end());
}

std::vector<UINT> Enumerated() {
    std::vector<UINT> formats;
    EXPECT_TRUE(OpenWithRetry());
    for (UINT format = EnumClipboardFormats(0); format; format = EnumClipboardFormats(format)) {
        formats.push_back(format);
    }
    CloseClipboard();
    return formats;
}

// Unicode text comes with the text formats the system makes from it, each as a record in
// enumeration order; the other side sets each under its number, on top of what it holds.
TEST(ClipboardHelperTest, TextTravelsInEveryFormatItHas) {
    std::wstring const text = L"Gr\u00fc\u00dfe 42";
    SetLocal({{CF_UNICODETEXT, Wide(text)}});
    std::vector<UINT> const order = Enumerated();
    ASSERT_GE(order.size(), 3u) << "Unicode text, text, locale, ...";
    Bytes const payload = PayloadOf(*ClipboardHelper::CreateClipboardMessage());
    std::uint32_t count = 0;
    std::vector<Record> const records = Records(payload, &count);
    ASSERT_EQ(count, records.size());
    std::vector<UINT> formats;
    std::map<UINT, Bytes> sent;
    for (Record const& record : records) {
        formats.push_back(record.format);
        sent[record.format] = record.data;
    }
    EXPECT_EQ(formats, order);
    EXPECT_EQ(sent[CF_UNICODETEXT], Wide(text));
    ASSERT_TRUE(sent.count(CF_TEXT));
    ASSERT_TRUE(sent.count(CF_LOCALE));

    UINT const kept = RegisterClipboardFormatW(L"Corvane Kept Format");
    SetLocal({{kept, Narrow("kept")}});
    Apply(payload);
    EXPECT_EQ(ReadLocal(CF_UNICODETEXT), Wide(text));
    EXPECT_EQ(ReadLocal(CF_TEXT), sent[CF_TEXT]);
    EXPECT_EQ(ReadLocal(CF_LOCALE), sent[CF_LOCALE]);
    EXPECT_EQ(ReadLocal(kept), Narrow("kept")) << "not emptied first";
}

// A registered format travels behind its name and arrives under the local number of that
// name; without a name it is skipped. Standard formats keep their numbers.
TEST(ClipboardHelperTest, RegisteredFormatTravelsByName) {
    UINT const html = RegisterClipboardFormatW(L"HTML Format");
    SetLocal({{CF_RIFF, Narrow("riff")}, {html, Narrow("<b>hi</b>")}});
    std::vector<Record> const records = Records(PayloadOf(*ClipboardHelper::CreateClipboardMessage()));
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].format, UINT(CF_RIFF));
    EXPECT_EQ(records[1].format, 0u);
    EXPECT_EQ(records[1].data, Narrow("HTML Format"));
    EXPECT_EQ(records[2].format, html);

    UINT const local = RegisterClipboardFormatW(L"Corvane Travelling Format");
    UINT const remote = local == 0xC123 ? 0xC124 : 0xC123;  // the sender's number for it
    EmptyLocalClipboard();
    Apply(Payload(3, {{0, "Corvane Travelling Format"}, {remote, "payload"}, {CF_WAVE, "wave"}}));
    EXPECT_EQ(ReadLocal(local), Narrow("payload"));
    EXPECT_FALSE(HasLocal(remote));
    EXPECT_EQ(ReadLocal(CF_WAVE), Narrow("wave"));

    EmptyLocalClipboard();
    Apply(Payload(2, {{local, "no name"}, {CF_WAVE, "after"}}));
    EXPECT_FALSE(HasLocal(local)) << "a registered record without its name";
    EXPECT_EQ(ReadLocal(CF_WAVE), Narrow("after"));
}

TEST(ClipboardHelperTest, EmptyAndBitmapOnlyClipboards) {
    EmptyLocalClipboard();
    EXPECT_TRUE(PayloadOf(*ClipboardHelper::CreateClipboardMessage()).empty()) << "no count at all";
    SetLocal({{CF_RIFF, Narrow("still here")}});
    Apply(Bytes());
    EXPECT_EQ(ReadLocal(CF_RIFF), Narrow("still here"));

    HBITMAP bitmap = CreateBitmap(8, 8, 1, 32, nullptr);
    ASSERT_TRUE(OpenWithRetry());
    EmptyClipboard();
    ASSERT_TRUE(SetClipboardData(CF_BITMAP, bitmap));  // the clipboard owns it now
    CloseClipboard();
    std::uint32_t count = 99;
    std::vector<Record> const records =
        Records(PayloadOf(*ClipboardHelper::CreateClipboardMessage()), &count);
    EXPECT_EQ(count, records.size());
    for (Record const& record : records) {
        EXPECT_NE(record.format, UINT(CF_BITMAP)) << "a handle, not bytes";
        EXPECT_NE(record.format, UINT(CF_PALETTE));
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
    Bytes huge = Payload(1, {});
    Append(huge, CF_RIFF);
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
        EmptyLocalClipboard();
        LogCapture log;
        Apply(c.payload);
        for (UINT format : {UINT(CF_WAVE), UINT(CF_RIFF), UINT(CF_BITMAP), UINT(CF_METAFILEPICT)}) {
            auto wanted = c.expected.find(format);
            bool present = false;
            Bytes const bytes = ReadLocal(format, &present);
            EXPECT_EQ(present, wanted != c.expected.end()) << "format " << format;
            if (present && wanted != c.expected.end()) {
                EXPECT_EQ(bytes, Narrow(wanted->second));
            }
        }
        if (c.logged) {
            EXPECT_TRUE(log.Contains(c.logged)) << c.logged;
        }
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
    auto named = [&](std::string const& tag, int count, std::string const& data) {
        std::vector<std::pair<std::uint32_t, std::string>> records;
        for (int i = 0; i < count; ++i) {
            records.push_back({0, prefix + tag + std::to_string(i)});
            records.push_back({0xC000u + i % 0x4000, data});
        }
        return Payload(static_cast<std::uint32_t>(records.size()), records);
    };
    struct Case {
        std::string tag;
        int names;
        std::string data;
        int registered;
    };
    Case const cases[] = {{"flood ", 20000, "", 0}, {"empty ", 200, "", 0}, {"set ", 100, "x", 64}};
    for (Case const& c : cases) {
        SCOPED_TRACE(c.tag);
        EmptyLocalClipboard();
        Apply(named(c.tag, c.names, c.data));
        EXPECT_EQ(RegisteredNames(widePrefix + std::wstring(c.tag.begin(), c.tag.end())), c.registered);
    }
    EXPECT_EQ(ReadLocal(RegisterClipboardFormatW((widePrefix + L"set 0").c_str())), Narrow("x"));
    EXPECT_NE(RegisterWindowMessageW((widePrefix + L"message").c_str()), 0u);

    EmptyLocalClipboard();
    Apply(Payload(
        4, {{CF_PRIVATEFIRST, "private"}, {CF_PRIVATELAST, "private"}, {CF_HDROP, "C:\\x"}, {CF_WAVE, "w"}}));
    for (UINT format : {UINT(CF_PRIVATEFIRST), UINT(CF_PRIVATELAST), UINT(CF_HDROP)}) {
        EXPECT_FALSE(HasLocal(format)) << "set format " << format;
    }
    EXPECT_EQ(ReadLocal(CF_WAVE), Narrow("w"));

    std::wstring const path = L"C:\\windows\\win.ini";
    Bytes drop(sizeof(DROPFILES), 0);
    auto* files = reinterpret_cast<DROPFILES*>(drop.data());
    files->pFiles = sizeof(DROPFILES);
    files->fWide = TRUE;
    Bytes const list = Wide(path + L'\0');
    drop.insert(drop.end(), list.begin(), list.end());
    SetLocal({{CF_PRIVATEFIRST, Narrow("private")}, {CF_HDROP, drop}, {CF_RIFF, Narrow("r")}});
    std::vector<UINT> sent;
    for (Record const& record : Records(PayloadOf(*ClipboardHelper::CreateClipboardMessage()))) {
        sent.push_back(record.format);
    }
    EXPECT_EQ(std::count(sent.begin(), sent.end(), UINT(CF_RIFF)), 1);
    EXPECT_EQ(std::count(sent.begin(), sent.end(), UINT(CF_PRIVATEFIRST)), 0);
    EXPECT_EQ(std::count(sent.begin(), sent.end(), UINT(CF_HDROP)), 0);
}

// Random damage to valid payloads: the clipboard ends up exactly as the test's own bounded
// reading of the damaged payload says.
TEST(ClipboardHelperTest, RandomlyDamagedPayloads) {
    UINT const named = RegisterClipboardFormatW(L"Corvane Random Format");
    std::mt19937 random(20261207);
    std::uint32_t const formats[] = {CF_WAVE, CF_RIFF, 0};
    for (int round = 0; round < 150; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        std::vector<std::pair<std::uint32_t, std::string>> records;
        int const count = random() % 5;
        for (int i = 0; i < count; ++i) {
            std::uint32_t const format = formats[random() % 3];
            if (format == 0) {
                records.push_back({0, "Corvane Random Format"});
                records.push_back({named, std::string(random() % 40 + 1, char('a' + i))});
            } else {
                records.push_back({format, std::string(random() % 40 + 1, char('A' + i))});
            }
        }
        Bytes payload = Payload(static_cast<std::uint32_t>(records.size()), records);
        switch (random() % 4) {
            case 0:
                payload.resize(random() % (payload.size() + 1));
                break;
            case 1:
                payload[random() % payload.size()] = static_cast<unsigned char>(random());
                break;
            case 2: {
                std::uint32_t const counted = random() % 8;
                std::memcpy(payload.data(), &counted, 4);
                break;
            }
            default:
                break;
        }
        std::map<UINT, Bytes> expected;
        std::string name;
        for (Record const& record : Records(payload)) {
            if (record.format == 0) {
                name.assign(record.data.begin(), record.data.end());
                continue;
            }
            bool const known = record.format == CF_WAVE || record.format == CF_RIFF ||
                               (record.format == named && name == "Corvane Random Format");
            if (known && !record.data.empty()) {
                expected[record.format] = record.data;
            }
            name.clear();
        }
        EmptyLocalClipboard();
        Apply(payload);
        for (UINT format : {UINT(CF_WAVE), UINT(CF_RIFF), named}) {
            bool present = false;
            Bytes const bytes = ReadLocal(format, &present);
            ASSERT_EQ(present, expected.count(format) == 1) << "format " << format;
            if (present) {
                ASSERT_EQ(bytes, expected[format]);
            }
        }
    }
}

}  // namespace
