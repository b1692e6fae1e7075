#include <windows.h>

#include <string>
#include <vector>

#include "SkypeTestSupport.h"
#include "TempFolder.h"
#include "foundation/FileHelper.h"
#include "foundation/StringHelper.h"
#include "imaging/Picture.h"
#include "skype/SkypeAvatar.h"

namespace skype_test {
namespace {

std::string PngOf(int width, int height) {
    Picture picture(width, height);
    for (int i = 0; i < width * height; ++i) {
        picture.GetPixels()[i] = 0xFF000000u | (i * 2654435761u >> 8);
    }
    std::vector<unsigned char> bytes = picture.Encode(Picture::Format::Png);
    return std::string(bytes.begin(), bytes.end());
}

std::string AvatarFolder() {
    return FileHelper::CombinePath(FileHelper::GetModulePath(), "avatars");
}

// Removes what a test left in the avatars folder beside the program.
struct AvatarCleanup {
    std::vector<std::string> names;
    ~AvatarCleanup() {
        for (std::string const& name : names) {
            DeleteFileA((AvatarFolder() + "\\" + name).c_str());
            DeleteFileA((AvatarFolder() + "\\" + name + ".thumb.png").c_str());
        }
    }
};

using UserInfoTest = ClientTest;

TEST_F(UserInfoTest, FriendsTheirOnlineFlagNameAndAvatar) {
    Attach();
    std::vector<std::string> friends{"kept"};
    client->GetFriends(friends);
    EXPECT_EQ(friends, std::vector<std::string>{"kept"});  // "USERS " with nobody after it

    AddContact("bob", PngOf(40, 20));
    AddContact("carol", std::string(), false);
    AddContact("dave", "not a picture");
    AddContact("..\\escape", PngOf(8, 8));
    AvatarCleanup cleanup{{"bob", "carol", "dave", ".._escape"}};
    friends.clear();
    client->GetFriends(friends);
    EXPECT_EQ(friends, (std::vector<std::string>{"..\\escape", "bob", "carol", "dave"}));

    ISkypeClient::UserInfo bob = client->GetUserInfo("bob", false);
    EXPECT_EQ(bob.online, 1);
    EXPECT_EQ(bob.fullName, "bob Example");
    EXPECT_EQ(bob.avatarPath, "");
    ISkypeClient::UserInfo carol = client->GetUserInfo("carol", true);
    EXPECT_EQ(carol.online, 0);
    EXPECT_EQ(carol.fullName, "carol Example");
    EXPECT_EQ(carol.avatarPath, "");  // no picture, no file
    ISkypeClient::UserInfo nobody = client->GetUserInfo("nobody", false);
    EXPECT_EQ(nobody.online, -1);
    EXPECT_EQ(nobody.fullName, "");

    // The picture goes beside the program; the thumbnail beside the picture.
    bob = client->GetUserInfo("bob", true);
    EXPECT_EQ(bob.avatarPath, AvatarFolder() + "\\bob");
    EXPECT_EQ(ReadWholeFile(bob.avatarPath), PngOf(40, 20));
    boost::shared_ptr<Picture> full;
    boost::shared_ptr<Picture> thumbnail;
    std::string thumbnailPath = GetAndConvertAvatar(*client, "bob", &full, &thumbnail);
    EXPECT_EQ(thumbnailPath, AvatarFolder() + "\\bob.thumb.png");
    ASSERT_TRUE(full && thumbnail);
    EXPECT_EQ(full->GetWidth(), 40);
    EXPECT_EQ(thumbnail->GetHeight(), 8);
    EXPECT_EQ(Picture::Load(StringHelper::StrToWstr(thumbnailPath)).GetHeight(), 8);
    EXPECT_EQ(GetAndConvertAvatar(bob, nullptr, nullptr), thumbnailPath);

    // An old picture goes before the messenger is asked: no picture now, no path.
    sim->SetAvatar("bob", std::string());
    EXPECT_EQ(client->GetUserInfo("bob", true).avatarPath, "");
    EXPECT_EQ(GetFileAttributesA((AvatarFolder() + "\\bob").c_str()), INVALID_FILE_ATTRIBUTES);

    // Nothing to convert, or nothing that converts: no thumbnail and no error. A picture over
    // a megapixel is not decoded at all (resampling costs 16 bytes a pixel).
    std::vector<unsigned char> large = Picture(1025, 1024).Encode(Picture::Format::Png);
    sim->SetAvatar("bob", std::string(large.begin(), large.end()));
    EXPECT_EQ(GetAndConvertAvatar(*client, "bob", nullptr, nullptr), "");
    EXPECT_EQ(GetAndConvertAvatar(*client, "carol", nullptr, nullptr), "");
    EXPECT_EQ(GetAndConvertAvatar(*client, "dave", &full, nullptr), "");
    sim->FailCommands(me, "GET USER bob AVATAR", "ERROR 115 not written");
    EXPECT_EQ(GetAndConvertAvatar(*client, "bob", nullptr, nullptr), "");
    ExpectSkypeError([&] { client->GetUserInfo("bob", true); }, "Command error: ERROR 115 not written");

    // A handle from the messenger names one file inside the folder, never a path.
    EXPECT_EQ(client->GetUserInfo("..\\escape", true).avatarPath, AvatarFolder() + "\\.._escape");
}

TEST(ResizeProportionalTest, TheLongerSideBecomesTheGivenLength) {
    struct Case {
        SIZE size;
        SIZE expected;
    } const cases[] = {
        {{96, 96}, {16, 16}}, {{40, 20}, {16, 8}},   {{30, 40}, {12, 16}}, {{100, 33}, {16, 5}},
        {{8, 4}, {16, 8}},    {{1000, 10}, {16, 1}}, {{0, 10}, {0, 0}},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(std::to_string(c.size.cx) + "x" + std::to_string(c.size.cy));
        SIZE result = ResizeProportional(c.size, 16);
        EXPECT_EQ(result.cx, c.expected.cx);
        EXPECT_EQ(result.cy, c.expected.cy);
    }
}

}  // namespace
}  // namespace skype_test
