#pragma once

#include <optional>
#include <string>
#include <vector>

namespace skypesim {

// Misbehaviour ordered by a test for one account's commands. A rule matches a command (its
// text without the id) that starts with the rule's prefix; an empty prefix matches every command.
class SimFaults {
public:
    // Drops the replies of the next `count` matching commands (the commands still take effect).
    void DropReplies(int count, std::string const& prefix);
    // Delays the replies of matching commands by `ms`; 0 ends the delay for that prefix.
    void DelayReplies(unsigned ms, std::string const& prefix);
    // Answers matching commands with `error` instead of carrying them out, `count` times (-1: always).
    void FailCommands(std::string const& prefix, std::string const& error, int count);
    void Clear();

    // For a command about to run: the error that replaces it, if any (counts the use).
    std::optional<std::string> FailureFor(std::string const& command);
    // For a command whose reply is about to go: true when the reply is to be dropped (counts the use).
    bool DropReply(std::string const& command);
    unsigned ReplyDelay(std::string const& command) const;

private:
    struct Rule {
        std::string prefix;
        int remaining = -1;  // uses left; -1 for no limit
        unsigned delayMs = 0;
        std::string error;
    };
    // Index of the first rule that matches, or -1.
    static int Match(std::vector<Rule> const& rules, std::string const& command);
    // Counts one use of a limited rule and forgets it when it is used up.
    static void Use(std::vector<Rule>& rules, int index);

    std::vector<Rule> mDrops;
    std::vector<Rule> mDelays;
    std::vector<Rule> mFailures;
};

}  // namespace skypesim
