#include "network/ControlMessages.h"

#define SECURITY_WIN32
#include <secext.h>

#include <algorithm>
#include <cstdint>

#include "foundation/Errors.h"
#include "foundation/StringHelper.h"
#include "network/SkypeCoder.h"

namespace {

constexpr DWORD kNameBufferSize = 1024;
constexpr char kDiscoverySeparator = '\x01';

std::string Flag(bool value) {
    return value ? "1" : "0";
}

std::vector<std::string> Fields(char const* text, char const* delimiters) {
    std::vector<std::string> fields;
    StringHelper::Split(text, fields, delimiters);
    return fields;
}

std::string QualityText(SessionQualityConfiguration const& quality) {
    tagSIZE resolution = quality.Resolution.Get();
    return std::to_string(resolution.cx) + "/" + std::to_string(resolution.cy) + "/" +
           std::to_string(quality.ColorDepth.Get()) + "/" + Flag(quality.UseJpeg.Get()) + "/" +
           std::to_string(quality.JpegQuality.Get()) + "/" + Flag(quality.AutoJpegQuality.Get() != 0);
}

// Sets `quality` from its text form; false (and nothing changed) unless there are six fields.
bool ReadQuality(std::string const& text, SessionQualityConfiguration& quality) {
    std::vector<std::string> fields = Fields(text.c_str(), "/");
    if (fields.size() != 6) {
        return false;
    }
    unsigned int colorDepth = std::min(static_cast<unsigned int>(StringHelper::ToInt(fields[2].c_str())),
                                       ColorDepthValidator::kMaxColorDepth);
    bool useJpeg = fields[3] == "1";
    if (useJpeg && colorDepth > 4) {
        colorDepth = 24;  // pictures are always sent in full colour
    }
    quality.Resolution.Set({StringHelper::ToInt(fields[0].c_str()), StringHelper::ToInt(fields[1].c_str())});
    quality.ColorDepth.Set(colorDepth);
    quality.UseJpeg.Set(useJpeg);
    quality.JpegQuality.Set(StringHelper::ToInt(fields[4].c_str()));
    quality.AutoJpegQuality.Set(fields[5] == "1" ? 1 : 0);
    return true;
}

void ReadQualityOrRaise(std::string const& text, SessionQualityConfiguration& quality) {
    if (!ReadQuality(text, quality)) {
        Raise(NetworkMessageFormatError("Invalid quality data"));
    }
}

std::string LocalComputerName() {
    char name[kNameBufferSize] = {};
    DWORD size = kNameBufferSize;
    return GetComputerNameA(name, &size) ? std::string(name, size) : std::string();
}

// The user's display name, or the logon name where the system keeps no display name.
std::string LocalUserDisplayName() {
    char name[kNameBufferSize] = {};
    ULONG size = kNameBufferSize;
    if (GetUserNameExA(NameDisplay, name, &size) && name[0] != '\0') {
        return name;
    }
    DWORD logonSize = kNameBufferSize;
    return GetUserNameA(name, &logonSize) ? std::string(name) : std::string();
}

}  // namespace

RequestRemoteDesktopNetMsg::RequestRemoteDesktopNetMsg(bool request,
                                                       SessionQualityConfiguration const& quality) {
    if (request) {
        mQuality = quality;
        mData = "RQ:" + QualityText(quality);
    }
}

void RequestRemoteDesktopNetMsg::SetResponse(bool allowed) {
    mData = allowed ? "OK" : "DN";
}

void RequestRemoteDesktopNetMsg::SetAbort(bool abort) {
    mData = abort ? "ST" : "";
}

bool RequestRemoteDesktopNetMsg::IsRequest() const {
    return mData.find("RQ") != std::string::npos;
}

bool RequestRemoteDesktopNetMsg::IsAllowed() const {
    return mData.find("OK") != std::string::npos;
}

bool RequestRemoteDesktopNetMsg::IsAborted() const {
    return mData.find("ST") != std::string::npos;
}

void RequestRemoteDesktopNetMsg::ParseNetworkMessage(char const* data) {
    std::vector<std::string> fields = Fields(data, ":");
    if (fields.size() == 2) {
        ReadQualityOrRaise(fields[1], mQuality);
        mData = fields[0];
    } else {
        mData = data;
    }
}

ShowMyDesktopNetMsg::ShowMyDesktopNetMsg(SessionQualityConfiguration const& quality, bool accepted,
                                         bool response)
    : mQuality(quality), mAccepted(accepted), mResponse(response) {
    mData = QualityText(quality) + ":" + Flag(accepted) + ":" + Flag(response);
}

void ShowMyDesktopNetMsg::ParseNetworkMessage(char const* data) {
    mData = data;
    std::vector<std::string> fields = Fields(data, ":");
    if (fields.size() == 3) {
        ReadQualityOrRaise(fields[0], mQuality);
        mAccepted = StringHelper::ToInt(fields[1].c_str()) != 0;
        mResponse = StringHelper::ToInt(fields[2].c_str()) != 0;
    }
}

TestConnectNetMsg::TestConnectNetMsg(char const* testText, bool response) : mResponse(response) {
    mData = std::string(testText ? testText : "") + ":" + Flag(response);
}

void TestConnectNetMsg::ParseNetworkMessage(char const* data) {
    std::vector<std::string> fields = Fields(data, ":");
    if (fields.size() == 2) {
        mData = std::move(fields[0]);
        mResponse = StringHelper::ToInt(fields[1].c_str()) != 0;
    }
}

WindowEventNetMsg::WindowEventNetMsg(unsigned int message, unsigned int wParam, long lParam)
    : mMessage(message), mWParam(wParam), mLParam(lParam) {
    mData = std::to_string(message) + "," + std::to_string(wParam) + "," + std::to_string(lParam);
}

void WindowEventNetMsg::ParseNetworkMessage(char const* data) {
    mData = data;
    std::vector<std::string> fields = Fields(data, ",");
    if (fields.size() == 3) {
        mMessage = static_cast<unsigned int>(StringHelper::ToInt(fields[0].c_str()));
        mWParam = static_cast<uint32_t>(StringHelper::ToInt64(fields[1].c_str()));
        mLParam = static_cast<int32_t>(static_cast<uint32_t>(StringHelper::ToInt64(fields[2].c_str())));
    }
}

DiscoveryNetMsg::DiscoveryNetMsg(bool fromSystem, DiscoveryInfo const* info) {
    if (fromSystem) {
        mInfo.computerName = LocalComputerName();
        mInfo.userName = LocalUserDisplayName();
    } else if (info != nullptr) {
        mInfo = *info;
    }
    mData = mInfo.computerName + kDiscoverySeparator + mInfo.userName;
}

void DiscoveryNetMsg::ParseNetworkMessage(char const* data) {
    std::vector<std::string> parts;
    if (StringHelper::GetParts(data, 2, parts, kDiscoverySeparator) == nullptr) {
        Raise(NetworkMessageFormatError("Invalid discovery message"));
    }
    mData = data;
    mInfo.computerName = parts[0];
    mInfo.userName = parts[1];
}

ClipboardNetMsg::ClipboardNetMsg(std::vector<unsigned char> const& bytes) : mBytes(bytes) {
    mData = std::to_string(bytes.size()) + ":";
    if (!bytes.empty()) {
        mData += CompressAndEncode(bytes.data(), static_cast<unsigned int>(bytes.size()));
    }
}

void ClipboardNetMsg::ParseNetworkMessage(char const* data) {
    std::vector<std::string> parts;
    char const* encoded = StringHelper::GetParts(data, 1, parts, ':');
    if (encoded == nullptr) {
        Raise(NetworkMessageFormatError("Invalid clipboard network message fields"));
    }
    std::int64_t size = StringHelper::ToInt64(parts[0].c_str());
    if (size == 0) {
        Raise(NetworkMessageFormatError("Invalid clipboard network message data size"));
    }
    if (size < 0) {
        Raise(NetworkError("Failed to uncompress buffer"));
    }
    DecodeAndUncompress(mBytes, encoded, static_cast<std::uint64_t>(size), kMaxSize);
}

DesktopResolutionMsg::DesktopResolutionMsg() {
    mData = "RQ";
}

DesktopResolutionMsg::DesktopResolutionMsg(tagSIZE resolution) : mRequest(false), mResolution(resolution) {
    mData = std::to_string(resolution.cx) + "x" + std::to_string(resolution.cy);
}

void DesktopResolutionMsg::ParseNetworkMessage(char const* data) {
    mData = data;
    mRequest = mData == "RQ";
    if (mRequest) {
        mResolution = {0, 0};
        return;
    }
    std::size_t x = mData.find('x');
    mResolution = {StringHelper::ToInt(data), x == std::string::npos ? 0 : StringHelper::ToInt(data + x + 1)};
}

MouseMoveNetMsg::MouseMoveNetMsg(tagPOINT const& position) : mPosition(position) {
    mData = std::to_string(position.x) + ":" + std::to_string(position.y);
}

void MouseMoveNetMsg::ParseNetworkMessage(char const* data) {
    mData = data;
    std::vector<std::string> fields = Fields(data, ":");
    if (fields.size() == 2) {
        mPosition = {StringHelper::ToInt(fields[0].c_str()), StringHelper::ToInt(fields[1].c_str())};
    }
}
