#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "skypesim/SimAccount.h"

namespace skypesim {

class SimNetwork;

// Reads one API command and carries it out on the network; knows the commands' grammar and
// the texts of their replies.
class CommandInterpreter {
public:
    explicit CommandInterpreter(SimNetwork& network) : mNetwork(network) {}

    // The reply to `command` (its text after any "#id ") from `account`'s messenger; nothing
    // when it has none. `raw`: the command came without an id.
    std::optional<std::string> Run(SimAccount& account, std::string const& command, bool raw,
                                   Clock::time_point now);

private:
    std::string Get(SimAccount& account, std::string_view rest);
    std::string GetUser(std::string_view rest);
    std::string Friends(SimAccount const& account);
    std::string CreateOrDelete(SimAccount& account, std::string const& verb, std::string_view rest);
    std::optional<std::string> Alter(SimAccount& account, std::string_view rest, bool raw,
                                     Clock::time_point now);

    SimNetwork& mNetwork;  // owns this interpreter
};

}  // namespace skypesim
