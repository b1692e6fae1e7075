#pragma once

#include <windows.h>

#include <string>

#include <boost/shared_ptr.hpp>

#include "capture/IconHelpers.h"
#include "imaging/Picture.h"
#include "skype/ISkypeClient.h"

// Makes a 16-pixel PNG thumbnail of the user's avatar beside it (avatar path + ".thumb.png")
// and gives its path; empty when there is no avatar, when it has more than a megapixel, or when
// it cannot be read, scaled or written.
// `picture` and `thumbnail` may be null; otherwise they receive the loaded avatar and the
// thumbnail. Never throws.
std::string GetAndConvertAvatar(ISkypeClient::UserInfo const& info, boost::shared_ptr<Picture>* picture,
                                boost::shared_ptr<Picture>* thumbnail);
// The same for a user handle, with the avatar the client fetches (GetUserInfo); a failing
// fetch gives an empty path too. Not on the client window's thread.
std::string GetAndConvertAvatar(ISkypeClient& client, std::string const& user,
                                boost::shared_ptr<Picture>* picture, boost::shared_ptr<Picture>* thumbnail);
