#pragma once

#include <mutex>
#include <string>

// The peer host's standard output: one line per event, whole lines only, from any thread.
// Each line also goes to the library's log.
class PeerOutput {
public:
    PeerOutput();
    void Say(std::string const& line);
    void Error(std::string const& line) { Say("error: " + line); }

    // A text as it may stand in one line: quoted, bytes outside printable ASCII escaped, cut after
    // `limit` bytes.
    static std::string Quote(std::string const& text, std::size_t limit = 80);

private:
    std::mutex mLock;
};
