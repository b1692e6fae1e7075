#include "skype/SkypeAvatar.h"

#include <algorithm>
#include <cstdint>
#include <exception>

#include "foundation/CorvaneLogging.h"
#include "foundation/StringHelper.h"

namespace {

constexpr int kThumbnailSide = 16;
// Avatars are small; the file is the messenger's, and resampling costs 16 bytes a pixel.
constexpr std::uint64_t kMaxAvatarPixels = 1024 * 1024;
char const kThumbnailSuffix[] = ".thumb.png";

}  // namespace

std::string GetAndConvertAvatar(ISkypeClient::UserInfo const& info, boost::shared_ptr<Picture>* picture,
                                boost::shared_ptr<Picture>* thumbnail) {
    if (info.avatarPath.empty()) {
        return std::string();
    }
    std::string thumbnailPath = info.avatarPath + kThumbnailSuffix;
    try {
        Picture avatar = Picture::Load(StringHelper::StrToWstr(info.avatarPath, false), kMaxAvatarPixels);
        tagSIZE size = ResizeProportional(tagSIZE{avatar.GetWidth(), avatar.GetHeight()}, kThumbnailSide);
        Picture small = avatar.Resample(size.cx, size.cy);
        if (picture) {
            picture->reset(new Picture(std::move(avatar)));
        }
        small.Save(StringHelper::StrToWstr(thumbnailPath, false), Picture::Format::Png);
        if (thumbnail) {
            thumbnail->reset(new Picture(std::move(small)));
        }
    } catch (std::exception const& error) {
        CORVANE_LOG("Cannot make the avatar thumbnail " << thumbnailPath << ": " << error.what());
        return std::string();
    }
    return thumbnailPath;
}

std::string GetAndConvertAvatar(ISkypeClient& client, std::string const& user,
                                boost::shared_ptr<Picture>* picture, boost::shared_ptr<Picture>* thumbnail) {
    ISkypeClient::UserInfo info;
    try {
        info = client.GetUserInfo(user, true);
    } catch (std::exception const& error) {
        CORVANE_LOG("Cannot fetch the avatar of " << user << ": " << error.what());
        return std::string();
    }
    return GetAndConvertAvatar(info, picture, thumbnail);
}
