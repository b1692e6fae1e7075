#include <gtest/gtest.h>

#include <windows.h>

#include <regex>
#include <string>
#include <vector>

#include "DumpFolder.h"
#include "TempFolder.h"
#include "network/PacketDumper.h"

namespace {

std::regex const kDumpName(R"(\d{1,2}\.\d{1,2}\.\d{1,2}\.\d{1,3}_(-?\d+)(_bad)?\.(msg|pkt))");

TEST(PacketDumperTest, EnableCreatesTheFoldersAndDeletesOnlyOldDumps) {
    DumpFolder folder;
    PacketDumper dumper;
    EXPECT_FALSE(dumper.IsEnabled());
    dumper.Enable(folder.Name());
    EXPECT_TRUE(dumper.IsEnabled());
    EXPECT_EQ(dumper.DirectionFolder(PacketDumper::kSent), folder.Root() + "sent\\");
    for (char const* direction : {"sent", "recv"}) {
        std::string path = folder.Root() + direction + "\\";
        WriteWholeFile(path + "old.pkt", "x");
        WriteWholeFile(path + "old.msg", "x");
        WriteWholeFile(path + "notes.txt", "kept");
    }
    PacketDumper again;
    again.Enable(folder.Name());
    EXPECT_EQ(FilesIn(folder.Root() + "sent\\"), std::vector<std::string>{"notes.txt"});
    EXPECT_EQ(FilesIn(folder.Root() + "recv\\"), std::vector<std::string>{"notes.txt"});
}

TEST(PacketDumperTest, FileNamesCarryTimeSequenceAndKindAndHoldExactlyTheBytes) {
    DumpFolder folder;
    PacketDumper dumper;
    dumper.Enable(folder.Name());
    std::string bytes("a\0b", 3);
    dumper.Dump(PacketDumper::kReceived, PacketDumper::kPacket, bytes.data(), bytes.size(), -1, false);
    std::vector<std::string> names = FilesIn(folder.Root() + "recv\\");
    ASSERT_EQ(names.size(), 1u);
    std::smatch match;
    ASSERT_TRUE(std::regex_match(names[0], match, kDumpName)) << names[0];
    EXPECT_EQ(match[1], "-1");
    EXPECT_EQ(match[2], "_bad");
    EXPECT_EQ(match[3], "pkt");
    EXPECT_EQ(ReadWholeFile(folder.Root() + "recv\\" + names[0]), bytes);

    // Dumps of one sequence and kind within one millisecond still get a file each.
    for (int i = 0; i < 5; ++i) {
        dumper.Dump(PacketDumper::kSent, PacketDumper::kPacket, "x", 1, 3, true);
    }
    EXPECT_EQ(FilesIn(folder.Root() + "sent\\").size(), 5u);
}

}  // namespace
