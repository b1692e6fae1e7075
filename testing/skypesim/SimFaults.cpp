#include "skypesim/SimFaults.h"

#include <algorithm>

namespace skypesim {

void SimFaults::DropReplies(int count, std::string const& prefix) {
    if (count > 0) {
        mDrops.push_back({prefix, count, 0, std::string()});
    }
}

void SimFaults::DelayReplies(unsigned ms, std::string const& prefix) {
    mDelays.erase(
        std::remove_if(mDelays.begin(), mDelays.end(), [&](Rule const& r) { return r.prefix == prefix; }),
        mDelays.end());
    if (ms > 0) {
        mDelays.push_back({prefix, -1, ms, std::string()});
    }
}

void SimFaults::FailCommands(std::string const& prefix, std::string const& error, int count) {
    if (count != 0) {
        mFailures.push_back({prefix, count, 0, error});
    }
}

void SimFaults::Clear() {
    mDrops.clear();
    mDelays.clear();
    mFailures.clear();
}

int SimFaults::Match(std::vector<Rule> const& rules, std::string const& command) {
    for (std::size_t i = 0; i < rules.size(); ++i) {
        if (command.compare(0, rules[i].prefix.size(), rules[i].prefix) == 0) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void SimFaults::Use(std::vector<Rule>& rules, int index) {
    Rule& rule = rules[index];
    if (rule.remaining > 0 && --rule.remaining == 0) {
        rules.erase(rules.begin() + index);
    }
}

std::optional<std::string> SimFaults::FailureFor(std::string const& command) {
    int index = Match(mFailures, command);
    if (index < 0) {
        return std::nullopt;
    }
    std::string error = mFailures[index].error;
    Use(mFailures, index);
    return error;
}

bool SimFaults::DropReply(std::string const& command) {
    int index = Match(mDrops, command);
    if (index < 0) {
        return false;
    }
    Use(mDrops, index);
    return true;
}

unsigned SimFaults::ReplyDelay(std::string const& command) const {
    int index = Match(mDelays, command);
    return index < 0 ? 0 : mDelays[index].delayMs;
}

}  // namespace skypesim
