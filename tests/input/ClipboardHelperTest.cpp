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
using Records = std::vector<std::pair<std::uint32_t, std::string>>;  // format and bytes

std::string Wide(std::wstring const& text) {
    return std::string(reinterpret_cast<char const*>(text.c_str()), (text.size() + 1) * sizeof(wchar_t));
}

void Append(Bytes& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<unsigned char>(value >> shift));
    }
}

Bytes Payload(std::uint32_t count, Records const& records) {
    Bytes out;
    Append(out, count);
    for (auto const& record : records) {
        Append(out, record.first);
        Append(out, static_cast<std::uint32_t>(record.second.size()));
        out.insert(out.end(), record.second.begin(), record.second.end());
    }
    return out;
}

// The records of the local clipboard's message, which must hold exactly as many whole records
// as it counts.
Records Sent() {
    boost::shared_ptr<ClipboardNetMsg> message = ClipboardHelper::CreateClipboardMessage();
    auto const payload = reinterpret_cast<char const*>(message->GetClipboardData());
    std::size_t const size = message->GetClipboardDataSize();
    auto u32 = [&](std::size_t at) {
        std::uint32_t value;
        std::memcpy(&value, payload + at, 4);
        return value;
    };
    Records records;
    std::size_t at = 4;
    for (; size >= at + 8 && size - at - 8 >= u32(at + 4); at += 8 + u32(at + 4)) {
        records.emplace_back(u32(at), std::string(payload + at + 8, u32(at + 4)));
    }
    EXPECT_EQ(at, std::max<std::size_t>(size, 4)) << "whole records only";
    EXPECT_EQ(size < 4 ? 0u : u32(0), records.size());
    EXPECT_FALSE(CloseClipboard()) << "left open, no other program could use the clipboard";
    return records;
}

void Apply(Bytes const& payload) {
    ClipboardHelper::ProcessClipboardMessage(ClipboardNetMsg(payload));
    EXPECT_FALSE(CloseClipboard()) << "left open, no other program could use the clipboard";
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

void SetLocal(std::vector<std::pair<UINT, std::string>> const& formats = {}) {
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
std::string Local(UINT format) {
    std::string bytes;
    if (Open()) {
        HANDLE handle = GetClipboardData(format);
        if (char const* data = handle ? static_cast<char const*>(GlobalLock(handle)) : nullptr) {
            bytes.assign(data, GlobalSize(handle));
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
    Records const sent = Sent();
    std::vector<UINT> formats;
    std::map<UINT, std::string> bytes;
    for (auto const& record : sent) {
        formats.push_back(record.first);
        bytes[record.first] = record.second;
    }
    EXPECT_EQ(formats, order);
    EXPECT_EQ(bytes[CF_UNICODETEXT], Wide(text));
    ASSERT_TRUE(bytes.count(CF_TEXT) && bytes.count(CF_LOCALE));

    UINT const kept = RegisterClipboardFormatW(L"Corvane Kept Format");
    SetLocal({{kept, "kept"}});
    Apply(Payload(static_cast<std::uint32_t>(sent.size()), sent));
    for (UINT format : {UINT(CF_UNICODETEXT), UINT(CF_TEXT), UINT(CF_LOCALE)}) {
        EXPECT_EQ(Local(format), bytes[format]) << format;
    }
    EXPECT_EQ(Local(kept), "kept") << "not emptied first";
}

// A registered format travels behind its name. Private formats and file-drop lists (paths on
// this machine) are not sent, nor handles (which share the test of what is set); an empty
// clipboard sends no count at all.
TEST(ClipboardHelperTest, OnlyBytesThatMeanTheSameElsewhereAreSent) {
    DROPFILES drop = {};
    drop.pFiles = sizeof(DROPFILES);
    drop.fWide = TRUE;
    std::string const dropList = std::string(reinterpret_cast<char const*>(&drop), sizeof(drop)) +
                                 Wide(L"C:\\windows\\win.ini") + '\0';
    UINT const html = RegisterClipboardFormatW(L"HTML Format");
    SetLocal({{CF_RIFF, "r"}, {CF_PRIVATEFIRST, "private"}, {CF_HDROP, dropList}, {html, "<b>hi</b>"}});
    EXPECT_EQ(Sent(), (Records{{CF_RIFF, "r"}, {0, "HTML Format"}, {html, "<b>hi</b>"}}));

    SetLocal();
    EXPECT_EQ(ClipboardHelper::CreateClipboardMessage()->GetClipboardDataSize(), 0u);
}

// What a peer's payload sets, on top of what the clipboard holds: standard formats under their
// numbers, a registered one under the local number of the name sent before it. Counts and sizes
// never lead past the payload; formats whose data would be taken for a handle, private formats
// and file-drop lists are refused; a long format logs only its first 80 bytes.
TEST(ClipboardHelperTest, PayloadsSetWhatTheyMayAndNothingElse) {
    UINT const local = RegisterClipboardFormatW(L"Corvane Travelling Format");
    UINT const remote = local == 0xC123 ? 0xC124 : 0xC123;  // the sender's number for it
    UINT const kept = RegisterClipboardFormatW(L"Corvane Kept Format");
    Bytes truncated = Payload(2, {{CF_WAVE, "whole"}, {CF_RIFF, "cut short"}});
    truncated.resize(truncated.size() - 3);
    Bytes header = Payload(1, {});
    Append(header, CF_RIFF);
    Bytes huge = header;
    Append(huge, 0xFFFFFFF0u);
    huge.insert(huge.end(), 16, 'y');
    struct Case {
        char const* name;
        Bytes payload;
        std::map<UINT, std::string> expected;  // what is set; other probed formats stay unset
        std::string logged;
    };
    std::string const name = "Corvane Travelling Format", skipped = "Skipped clipboard format ";
    Case const cases[] = {
        {"by name",
         Payload(3, {{0, name}, {remote, "p"}, {CF_WAVE, "w"}}),
         {{local, "p"}, {CF_WAVE, "w"}},
         ""},
        {"no name",
         Payload(2, {{local, "p"}, {CF_WAVE, "w"}}),
         {{CF_WAVE, "w"}},
         skipped + std::to_string(local)},
        {"a name before a standard format",
         Payload(2, {{0, "Some Name"}, {CF_RIFF, "r"}}),
         {{CF_RIFF, "r"}},
         ""},
        {"no payload", Bytes(), {}, ""},
        {"empty data last", Payload(1, {{CF_WAVE, ""}}), {}, skipped + "12"},
        {"private and file drops",
         Payload(4, {{CF_PRIVATEFIRST, "p"}, {CF_PRIVATELAST, "p"}, {CF_HDROP, "C:\\x"}, {CF_WAVE, "w"}}),
         {{CF_WAVE, "w"}},
         ""},
        {"count past the records",
         Payload(~0u, {{CF_WAVE, "w"}}),
         {{CF_WAVE, "w"}},
         "ends inside record 1 of 4294967295"},
        {"data cut short", truncated, {{CF_WAVE, "whole"}}, "inside record 1 of 2"},
        {"header cut short", header, {}, "inside record 0 of 1"},
        {"size past the end", huge, {}, "inside record 0 of 1"},
        {"three bytes", Bytes{1, 0, 0}, {}, ""},
        {"bitmap", Payload(2, {{CF_BITMAP, "12345678"}, {CF_WAVE, "w"}}), {{CF_WAVE, "w"}}, skipped + "2"},
        {"beyond the format range", Payload(1, {{0x1000B, "riff"}}), {}, skipped + "65547"},
    };
    UINT const probed[] = {CF_WAVE,        CF_RIFF,  CF_BITMAP, CF_METAFILEPICT, CF_PRIVATEFIRST,
                           CF_PRIVATELAST, CF_HDROP, local,     remote};
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        SetLocal({{kept, "kept"}});
        LogCapture log;
        Apply(c.payload);
        for (UINT format : probed) {
            auto wanted = c.expected.find(format);
            EXPECT_EQ(Local(format), wanted == c.expected.end() ? "" : wanted->second) << format;
        }
        EXPECT_EQ(Local(kept), "kept");
        EXPECT_TRUE(c.logged.empty() || log.Contains(c.logged)) << c.logged;
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
TEST(ClipboardHelperTest, PeerNamesAreBounded) {
    std::string const prefix =
        "Corvane Flood " + std::to_string(GetCurrentProcessId()) + "." + std::to_string(GetTickCount()) + " ";
    std::wstring const widePrefix(prefix.begin(), prefix.end());
    struct Case {
        std::string tag;
        int names;
        std::string data;
        int registered;
    };
    for (Case const& c : {Case{"flood ", 20000, "", 0}, Case{"set ", 100, "x", 64}}) {
        SCOPED_TRACE(c.tag);
        Records records;
        for (int i = 0; i < c.names; ++i) {
            records.push_back({0, prefix + c.tag + std::to_string(i)});
            records.push_back({0xC000u + i % 0x4000, c.data});
        }
        SetLocal();
        Apply(Payload(static_cast<std::uint32_t>(records.size()), records));
        EXPECT_EQ(RegisteredNames(widePrefix + std::wstring(c.tag.begin(), c.tag.end())), c.registered);
    }
    EXPECT_EQ(Local(RegisterClipboardFormatW((widePrefix + L"set 0").c_str())), "x");
    EXPECT_NE(RegisterWindowMessageW((widePrefix + L"message").c_str()), 0u);
}

}  // namespace
