#include "skypesim/SimCommandLine.h"

#include "skypesim/LinkSocket.h"

#include <fstream>
#include <iterator>
#include <sstream>

namespace skypesim {

namespace {
std::vector<std::string> SplitList(std::string const& text) {
    std::vector<std::string> items;
    std::istringstream stream(text);
    for (std::string item; std::getline(stream, item, ',');) {
        if (!item.empty()) {
            items.push_back(item);
        }
    }
    return items;
}

bool ReadNumber(std::string const& text, unsigned& value) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    value = static_cast<unsigned>(std::stoul(text));
    return true;
}

// "1,0@500": pending at once, then success half a second later.
bool ReadAttachScript(std::string const& text, std::vector<AttachStep>& steps) {
    steps.clear();
    for (std::string const& item : SplitList(text)) {
        std::size_t at = item.find('@');
        unsigned status = 0;
        unsigned delay = 0;
        if (!ReadNumber(item.substr(0, at), status) ||
            (at != std::string::npos && !ReadNumber(item.substr(at + 1), delay))) {
            return false;
        }
        steps.push_back({static_cast<int>(status), delay});
    }
    return true;
}

std::wstring Wide(std::string const& text) {
    int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(length, L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

bool ReadFileBytes(std::string const& path, std::string& bytes) {
    std::ifstream file(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return file.good() || file.eof();
}

// Applies one option that belongs to an account; false when its value is wrong.
bool ApplyAccountOption(std::string const& option, std::string const& value, AccountConfig& account) {
    if (option == "--friends") {
        account.friends = SplitList(value);
    } else if (option == "--status") {
        account.onlineStatus = value;
    } else if (option == "--discover") {
        account.discoverMessage = Wide(value);
    } else if (option == "--attach") {
        account.attachMessage = Wide(value);
    } else if (option == "--rate") {
        return ReadNumber(value, account.rate);
    } else if (option == "--rate-to") {
        std::size_t const colon = value.find(':');
        return colon != std::string::npos &&
               ReadNumber(value.substr(colon + 1), account.rateTo[value.substr(0, colon)]);
    } else if (option == "--attach-status") {
        return ReadAttachScript(value, account.attachScript);
    } else if (option == "--avatar") {
        return ReadFileBytes(value, account.avatar);
    } else {
        return false;
    }
    return true;
}
bool ApplyLinkOption(std::string const& option, std::string const& value, SimOptions& options) {
    unsigned number = 0;
    if (option == "--link") {
        std::string host;
        unsigned short port = 0;
        options.linkAddress = value;
        return SplitAddress(value, host, port);
    }
    if (!ReadNumber(value, number)) {
        return false;
    }
    if (option == "--latency") {
        options.latencyMs = number;
        return true;
    }
    options.listenPort = static_cast<int>(number);
    return number <= 65535;
}
}  // namespace

std::optional<SimOptions> SimCommandLine::Parse(std::vector<std::string> const& arguments,
                                                std::string& error) {
    SimOptions options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string const& option = arguments[i];
        std::size_t values = option == "--account"                                   ? 2
                             : (option == "--stopped" || option == "--ignore-stdin") ? 0
                                                                                     : 1;
        if (arguments.size() - 1 - i < values) {
            error = option + " needs " + std::to_string(values) + " value(s)";
            return std::nullopt;
        }
        if (option == "--account") {
            options.accounts.emplace_back();
            options.accounts.back().handle = arguments[i + 1];
            options.accounts.back().fullName = arguments[i + 2];
        } else if (option == "--quit-event") {
            options.quitEvent = arguments[i + 1];
        } else if (option == "--ignore-stdin") {
            options.watchStdin = false;
        } else if (option == "--listen" || option == "--link" || option == "--latency") {
            if (!ApplyLinkOption(option, arguments[i + 1], options)) {
                error = "bad value: " + option + " " + arguments[i + 1];
                return std::nullopt;
            }
        } else if (options.accounts.empty()) {
            error = option + " comes before any --account, or is unknown";
            return std::nullopt;
        } else if (option == "--stopped") {
            options.accounts.back().running = false;
        } else if (!ApplyAccountOption(option, arguments[i + 1], options.accounts.back())) {
            error = "unknown option or bad value: " + option + " " + arguments[i + 1];
            return std::nullopt;
        }
        i += values;
    }
    if (options.accounts.empty()) {
        error = "no --account given";
        return std::nullopt;
    }
    return options;
}

char const* SimCommandLine::Usage() {
    return "usage: skypesim [--quit-event NAME] [--ignore-stdin] [--listen PORT] [--link HOST:PORT]\n"
           "                [--latency MS] ACCOUNT...\n"
           "ACCOUNT: --account HANDLE \"FULL NAME\" [--friends A,B] [--status WORD] [--discover NAME]\n"
           "         [--attach NAME] [--rate BYTES_PER_SECOND] [--rate-to CONTACT:BYTES_PER_SECOND] "
           "[--attach-status S[@MS],...]\n"
           "         [--avatar FILE] [--stopped]\n"
           "Prints \"ready\" when the messengers' windows exist; ends when the quit event is set\n"
           "or a pipe on standard input closes. Lines on standard input: cut, link HOST:PORT,\n"
           "latency MS, malformed [kind|length|field], status HANDLE WORD.\n";
}

}  // namespace skypesim
