#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "LogCapture.h"
#include "input/ClipboardHelper.h"
#include "network/ControlMessages.h"

namespace {

char const kLeftOpen[] = "left open, no other program could use the clipboard";

std::string U32(std::uint32_t value) {
    return std::string(reinterpret_cast<char const*>(&value), 4);
}

std::string Record(std::uint32_t format, std::string const& data) {
    return U32(format) + U32(static_cast<std::uint32_t>(data.size())) + data;
}

std::string Sent() {
    boost::shared_ptr<ClipboardNetMsg> message = ClipboardHelper::CreateClipboardMessage();
    EXPECT_FALSE(CloseClipboard()) << kLeftOpen;
    return std::string(reinterpret_cast<char const*>(message->GetClipboardData()),
                       message->GetClipboardDataSize());
}

void Apply(std::string const& payload) {
    ClipboardHelper::ProcessClipboardMessage(
        ClipboardNetMsg(std::vector<unsigned char>(payload.begin(), payload.end())));
    EXPECT_FALSE(CloseClipboard()) << kLeftOpen;
}

void SetLocal(std::map<UINT, std::string> const& formats) {
    ASSERT_TRUE(OpenClipboard(nullptr));
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
    EXPECT_TRUE(OpenClipboard(nullptr));
    HANDLE handle = GetClipboardData(format);
    char const* data = handle ? static_cast<char const*>(GlobalLock(handle)) : nullptr;
    std::string const bytes = data ? std::string(data, GlobalSize(handle)) : "";
    GlobalUnlock(handle);
    CloseClipboard();
    return bytes;
}

// Every format goes in enumeration order (a registered one behind its name), the ones the system
// makes too, but no private format or file-drop list (paths here); an empty clipboard sends nothing.
TEST(ClipboardHelperTest, EveryFormatThatMeansTheSameElsewhereTravels) {
    UINT const html = RegisterClipboardFormatW(L"HTML Format");
    SetLocal({{CF_TEXT, "text 42"},
              {CF_RIFF, "r"},
              {CF_PRIVATEFIRST, "p"},
              {CF_HDROP, "C:\\x"},
              {html, "<b>hi</b>"}});
    std::vector<UINT> formats;
    ASSERT_TRUE(OpenClipboard(nullptr));
    for (UINT format = EnumClipboardFormats(0); format; format = EnumClipboardFormats(format)) {
        formats.push_back(format);
    }
    CloseClipboard();
    std::map<UINT, std::string> bytes;
    std::string expected = U32(static_cast<std::uint32_t>(formats.size() - 1));  // two refused, one name
    for (UINT format : formats) {
        if (format != CF_PRIVATEFIRST && format != CF_HDROP) {
            expected += (format == html ? Record(0, "HTML Format") : "") +
                        Record(format, bytes[format] = Local(format));
        }
    }
    ASSERT_TRUE(bytes.count(CF_UNICODETEXT) && bytes.count(CF_LOCALE)) << "made from the text";
    std::string const sent = Sent();
    EXPECT_EQ(sent, expected);
    SetLocal({});
    Apply(sent);
    for (auto const& format : bytes) {
        EXPECT_EQ(Local(format.first), format.second) << format.first;
    }
    SetLocal({});
    EXPECT_EQ(Sent(), "");
}

// A peer's payload sets, on top of what is there, standard formats and a registered one by the name
// before it; no reading past it, no handle, private format or file-drop list; 80 bytes logged.
TEST(ClipboardHelperTest, PayloadsSetWhatTheyMayAndRegisterFewNames) {
    UINT const local = RegisterClipboardFormatA("Corvane Way");
    UINT const remote = local == 0xC123 ? 0xC124 : 0xC123;  // the sender's number for it
    UINT const kept = RegisterClipboardFormatW(L"Corvane Kept Format");
    std::string const wave = Record(CF_WAVE, "w"), skipped = "Skipped clipboard format ", x100(100, 'x');
    struct Case {
        std::string payload;
        std::map<UINT, std::string> expected;  // what is set; other probed formats stay unset
        std::string logged;
    };
    Case const cases[] = {
        {U32(2) + Record(0, "Corvane Way") + Record(remote, "p"), {{local, "p"}}, " datap"},
        {U32(2) + Record(local, "no name") + Record(CF_WAVE, ""), {}, skipped + "12"},
        {U32(4) + Record(CF_PRIVATEFIRST, "p") + Record(CF_HDROP, "C") + Record(CF_BITMAP, "h") + wave,
         {{CF_WAVE, "w"}},
         skipped + "2"},
        {U32(1) + Record(0x1000B, "riff"), {}, skipped + "65547"},
        {U32(~0u) + Record(0, "N") + wave, {{CF_WAVE, "w"}}, "ends inside record 2 of 4294967295"},
        {U32(2) + wave + U32(CF_RIFF) + U32(0xFFFFFFF0u) + "yy", {{CF_WAVE, "w"}}, "inside record 1 of 2"},
        {U32(1) + Record(CF_WAVE, x100), {{CF_WAVE, x100}}, "format:12 data" + std::string(80, 'x')},
    };
    UINT const probed[] = {CF_WAVE, CF_RIFF, CF_BITMAP, CF_PRIVATEFIRST, CF_HDROP, local, remote};
    for (Case const& c : cases) {
        SCOPED_TRACE(&c - cases);
        SetLocal({{kept, "kept"}});
        LogCapture log;
        Apply(c.payload);
        for (UINT format : probed) {
            auto wanted = c.expected.find(format);
            EXPECT_EQ(Local(format), wanted == c.expected.end() ? "" : wanted->second) << format;
        }
        EXPECT_EQ(Local(kept), "kept");
        EXPECT_TRUE(log.Contains(c.logged)) << c.logged;
        EXPECT_FALSE(log.Contains(std::string(81, 'x')));
    }
    // The system holds about 16,000 names for the session: a message registers names only for
    // records it sets (a flood with empty data once used them all up), at most 64.
    std::string const prefix =
        "Corvane Flood " + std::to_string(GetCurrentProcessId()) + "." + std::to_string(GetTickCount()) + " ";
    for (std::string const data : {"", "x"}) {
        std::string payload = U32(600);
        for (int i = 0; i < 300; ++i) {
            payload += Record(0, prefix + data + std::to_string(i)) + Record(0xC000u + i, data);
        }
        Apply(payload);
        int registered = 0;
        char text[256];
        for (UINT format = 0xC000; format <= 0xFFFF; ++format) {
            std::string const found(text, GetClipboardFormatNameA(format, text, 256));
            registered += found.compare(0, prefix.size() + data.size(), prefix + data) == 0;
        }
        EXPECT_EQ(registered, data.empty() ? 0 : 64) << data;
    }
}

}  // namespace
