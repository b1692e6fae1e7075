#include <gtest/gtest.h>

#include <windows.h>

#include "TempFolder.h"
#include "foundation/FileHelper.h"
#include "foundation/FileVersionInfoHelper.h"
#include "foundation/StringHelper.h"

namespace {

bool IsFolder(std::string const& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(FileHelperTest, CreateFullPathMakesEveryMissingFolder) {
    TempFolder temp;
    FileHelper::CreateFullPath(temp.File("a\\b\\c"));
    EXPECT_TRUE(IsFolder(temp.File("a\\b\\c")));

    // Doubled and trailing separators vanish; existing folders are fine.
    FileHelper::CreateFullPath(temp.Path() + "\\\\a\\\\b\\d\\");
    EXPECT_TRUE(IsFolder(temp.File("a\\b\\d")));

    // A file in the way is left alone, and nothing below it is made.
    WriteWholeFile(temp.File("file"), "x");
    FileHelper::CreateFullPath(temp.File("file\\sub"));
    EXPECT_FALSE(IsFolder(temp.File("file")));
    EXPECT_FALSE(IsFolder(temp.File("file\\sub")));

    FileHelper::CreateFullPath("");
}

TEST(FileHelperTest, ModulePathCombinedPathsAndSafeNames) {
    std::string folder = FileHelper::GetModulePath();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '\\');
    EXPECT_NE(GetFileAttributesA((folder + "foundation_tests.exe").c_str()), INVALID_FILE_ATTRIBUTES);

    EXPECT_EQ(FileHelper::CombinePath("C:\\a", "b.txt"), "C:\\a\\b.txt");
    EXPECT_EQ(FileHelper::CombinePath("C:\\a\\", "b\\c"), "C:\\a\\b\\c");
    EXPECT_EQ(FileHelper::CombinePath("C:\\" + std::string(300, 'a'), "b"), "");  // too long for a path

    // One path component: every character a file name may not hold is replaced.
    EXPECT_EQ(FileHelper::ReplaceInvalidChars("a?b:c\\d/e*f\"g<h>i|j", '_'), "a_b_c_d_e_f_g_h_i_j");
    EXPECT_EQ(FileHelper::ReplaceInvalidChars("alice.smith 2 (x)", '_'), "alice.smith 2 (x)");
}

// Files without a version resource leave the record alone.
TEST(FileVersionInfoHelperTest, ReadsTheLibrarysOwnVersionStrings) {
    VersionInformation info;
    std::wstring core = StringHelper::StrToWstr(FileHelper::GetModulePath() + "Core.dll");
    ASSERT_EQ(FileVersionInfoHelper::GetFileVersionInformation(core.c_str(), info), 1);
    EXPECT_EQ(info.companyName, L"Corvane");
    EXPECT_EQ(info.productName, L"Corvane Core");
    EXPECT_EQ(info.productVersion, L"1.0.0");

    TempFolder temp;
    WriteWholeFile(temp.File("plain.txt"), "no resources here");
    for (std::string const& name : {temp.File("plain.txt"), temp.File("missing.dll")}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(
            FileVersionInfoHelper::GetFileVersionInformation(StringHelper::StrToWstr(name).c_str(), info), 0);
        EXPECT_EQ(info.productName, L"Corvane Core");
    }
}

}  // namespace
