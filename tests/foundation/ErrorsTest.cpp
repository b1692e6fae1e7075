#include <gtest/gtest.h>

#include <windows.h>

#include "LogCapture.h"
#include "foundation/Errors.h"

namespace {

std::string SystemText(DWORD code) {
    char text[1025] = {};
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                  MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, 1024, nullptr);
    return std::string(text, length);
}

TEST(ErrorsTest, SystemErrorTextEndsWithTheCodeInLowerCaseHex) {
    SystemError notFound("Failed to open", 2);
    EXPECT_EQ(std::string(notFound.what()), "Failed to open (" + SystemText(2) + " (0x2))");
    EXPECT_FALSE(SystemText(2).empty());

    EXPECT_EQ(GetSystemErrorDescription(0x3e5), SystemText(0x3e5) + " (0x3e5)");
    // An unknown code still gets its hex part, without leading zeros.
    std::string unknown = GetSystemErrorDescription(0x00abcdef);
    EXPECT_EQ(unknown.substr(unknown.size() - 11), " (0xabcdef)");
}

TEST(ErrorsTest, FamilyIsCaughtByItsBasesAndCopiesTheMessage) {
    try {
        throw NetworkMessageFormatError("bad frame");
    } catch (NetworkError const& error) {
        NetworkError copy = error;
        EXPECT_STREQ(copy.what(), "bad frame");
    }
    EXPECT_THROW(throw NetworkMessageFormatError("x"), BaseError);
    EXPECT_THROW(throw SkypeError("x"), std::exception);
    EXPECT_STREQ(BaseError().what(), "");
}

TEST(ErrorsTest, RaiseLogsTheTypeAndTextBeforeThrowing) {
    LogCapture log;
    EXPECT_THROW(Raise(SkypeError("not attached")), SkypeError);
    EXPECT_THROW(Raise(NetworkMessageFormatError("Unknown message id")), NetworkError);
    EXPECT_THROW(Raise(std::runtime_error("plain")), std::runtime_error);
    EXPECT_EQ(log.Messages(),
              (std::vector<std::string>{"Exception (SkypeError): not attached",
                                        "Exception (NetworkMessageFormatError): Unknown message id",
                                        "Exception (std::runtime_error): plain"}));

    CorvaneLogging::SetLoggingEnabled(false);
    EXPECT_THROW(Raise(BaseError("quiet")), BaseError);
    EXPECT_EQ(log.Lines().size(), 3u);
}

}  // namespace
