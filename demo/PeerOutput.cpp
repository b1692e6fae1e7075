#include "PeerOutput.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "foundation/CorvaneLogging.h"

PeerOutput::PeerOutput() {
    _setmode(_fileno(stdout), _O_BINARY);  // "\n" line ends whatever reads them
}

void PeerOutput::Say(std::string const& line) {
    {
        std::lock_guard<std::mutex> lock(mLock);
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
    CORVANE_LOG("peer: " << line);
}

std::string PeerOutput::Quote(std::string const& text, std::size_t limit) {
    std::string quoted = "\"";
    for (std::size_t i = 0; i < text.size() && i < limit; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "\\x%02x", c);
            quoted += escaped;
        } else {
            quoted += static_cast<char>(c);
        }
    }
    return quoted + (text.size() > limit ? "\"..." : "\"");
}
