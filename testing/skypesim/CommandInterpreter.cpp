#include "skypesim/CommandInterpreter.h"

#include <windows.h>

#include "skypesim/SimNetwork.h"

namespace skypesim {

namespace {
char const kUnknownCommand[] = "ERROR 2 Unknown command";
char const kInvalidWhat[] = "ERROR 7 GET: invalid WHAT";
char const kInvalidProperty[] = "ERROR 10 Invalid property";
char const kInvalidUser[] = "ERROR 26 Invalid user handle";
char const kInvalidAvatar[] = "ERROR 114 GET USER AVATAR: Invalid index or file name";
char const kAvatarNotWritten[] = "ERROR 115 GET USER AVATAR: Cannot write the file";
char const kInvalidName[] = "ERROR 536 Missing or invalid application name";
char const kUnknownAction[] = "ERROR 543 ALTER APPLICATION: Unknown action";
char const kMissingData[] = "ERROR 546 ALTER APPLICATION: Missing data";

// Takes the word up to the next blank off the front of `rest`.
std::string NextWord(std::string_view& rest) {
    std::size_t blank = rest.find(' ');
    std::string word(rest.substr(0, blank));
    rest = blank == std::string_view::npos ? std::string_view() : rest.substr(blank + 1);
    return word;
}

// Keywords are compared without regard to case, as the messenger does.
bool Is(std::string const& word, char const* keyword) {
    return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, word.data(), static_cast<int>(word.size()),
                          keyword, -1) == CSTR_EQUAL;
}

// The client names the file in the API's UTF-8; a name that is not UTF-8 is taken in the ANSI page.
std::wstring WidePath(std::string const& path) {
    for (UINT page : {static_cast<UINT>(CP_UTF8), static_cast<UINT>(CP_ACP)}) {
        DWORD flags = page == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0;
        int length = MultiByteToWideChar(page, flags, path.data(), static_cast<int>(path.size()), nullptr, 0);
        if (length > 0) {
            std::wstring wide(length, L'\0');
            MultiByteToWideChar(page, flags, path.data(), static_cast<int>(path.size()), &wide[0], length);
            return wide;
        }
    }
    return std::wstring();
}

bool WriteBytes(std::string const& path, std::string const& bytes) {
    HANDLE file = CreateFileW(WidePath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
              written == bytes.size();
    CloseHandle(file);
    return ok;
}
}  // namespace

std::optional<std::string> CommandInterpreter::Run(SimAccount& account, std::string const& command, bool raw,
                                                   Clock::time_point now) {
    try {
        std::string_view rest(command);
        std::string verb = NextWord(rest);
        if (Is(verb, "PING") && rest.empty()) {
            return std::string("PONG");
        }
        if (Is(verb, "GET")) {
            return Get(account, rest);
        }
        if (Is(verb, "SEARCH")) {
            return Is(NextWord(rest), "FRIENDS") && rest.empty() ? Friends(account) : kUnknownCommand;
        }
        if (Is(verb, "CREATE") || Is(verb, "DELETE")) {
            return CreateOrDelete(account, verb, rest);
        }
        if (Is(verb, "ALTER")) {
            return Alter(account, rest, raw, now);
        }
        return std::string(kUnknownCommand);
    } catch (CommandError const& error) {
        return std::string(error.what());
    }
}

std::string CommandInterpreter::Get(SimAccount& account, std::string_view rest) {
    std::string what = NextWord(rest);
    if (Is(what, "CURRENTUSERHANDLE")) {
        return "CURRENTUSERHANDLE " + account.config.handle;
    }
    if (Is(what, "USER")) {
        return GetUser(rest);
    }
    if (Is(what, "APPLICATION")) {
        std::string name = NextWord(rest);
        if (!Is(NextWord(rest), "STREAMS")) {
            throw CommandError(kInvalidProperty);
        }
        std::string list = mNetwork.StreamList(account, name);
        return "APPLICATION " + name + " STREAMS" + (list.empty() ? "" : " " + list);
    }
    throw CommandError(kInvalidWhat);
}

std::string CommandInterpreter::GetUser(std::string_view rest) {
    std::string handle = NextWord(rest);
    SimAccount* user = mNetwork.Find(handle);
    if (!user) {
        throw CommandError(kInvalidUser);
    }
    std::string property = NextWord(rest);
    std::string reply = "USER " + handle + " ";
    if (Is(property, "ONLINESTATUS")) {
        return reply + "ONLINESTATUS " + SimNetwork::EffectiveStatus(*user);
    }
    if (Is(property, "FULLNAME")) {
        return reply + "FULLNAME " + user->config.fullName;
    }
    if (!Is(property, "AVATAR")) {
        throw CommandError(kInvalidProperty);
    }
    // The picture goes to the file the client names; without a picture no file is written.
    std::string index = NextWord(rest);
    std::string path(rest);
    if (index != "1" || path.empty()) {
        throw CommandError(kInvalidAvatar);
    }
    if (!user->config.avatar.empty() && !WriteBytes(path, user->config.avatar)) {
        throw CommandError(kAvatarNotWritten);
    }
    return reply + "AVATAR 1 " + path;
}

std::string CommandInterpreter::Friends(SimAccount const& account) {
    std::string list;
    for (std::string const& handle : mNetwork.FriendsOf(account.config.handle)) {
        list += (list.empty() ? "" : ", ") + handle;
    }
    return "USERS " + list;
}

std::string CommandInterpreter::CreateOrDelete(SimAccount& account, std::string const& verb,
                                               std::string_view rest) {
    if (!Is(NextWord(rest), "APPLICATION")) {
        throw CommandError(kUnknownCommand);
    }
    std::string name = NextWord(rest);
    if (name.empty() || !rest.empty()) {
        throw CommandError(kInvalidName);
    }
    if (Is(verb, "CREATE")) {
        mNetwork.CreateApplication(account, name);
        return "CREATE APPLICATION " + name;
    }
    mNetwork.DeleteApplication(account, name);
    return "DELETE APPLICATION " + name;
}

std::optional<std::string> CommandInterpreter::Alter(SimAccount& account, std::string_view rest, bool raw,
                                                     Clock::time_point now) {
    if (!Is(NextWord(rest), "APPLICATION")) {
        throw CommandError(kUnknownCommand);
    }
    std::string name = NextWord(rest);
    std::string action = NextWord(rest);
    std::string target = NextWord(rest);  // a user for CONNECT, else a stream "user:id"
    std::string reply = "ALTER APPLICATION " + name + " ";
    if (Is(action, "CONNECT")) {
        mNetwork.Connect(account, name, target);
        return reply + "CONNECT " + target;
    }
    if (Is(action, "READ")) {
        std::optional<std::string> data = mNetwork.Read(account, name, target);
        return reply + "READ " + target + (data ? " " + *data : std::string());
    }
    if (Is(action, "DISCONNECT")) {
        mNetwork.Disconnect(account, name, target);
        return reply + "DISCONNECT " + target;
    }
    bool write = Is(action, "WRITE");
    if (!write && !Is(action, "DATAGRAM")) {
        throw CommandError(kUnknownAction);
    }
    if (rest.empty()) {
        throw CommandError(kMissingData);
    }
    if (write) {
        mNetwork.Write(account, name, target, std::string(rest), now);
        return reply + "WRITE " + target;
    }
    mNetwork.Datagram(account, name, target, std::string(rest));
    if (raw) {
        return std::nullopt;
    }
    return reply + "DATAGRAM " + target;
}

}  // namespace skypesim
