#include "skypesim/SimConsole.h"

#include <cstdio>
#include <sstream>

#include "skypesim/LinkMessage.h"
#include "skypesim/LinkSocket.h"
#include "skypesim/SkypeSimulator.h"

namespace skypesim {

namespace {
constexpr unsigned kLinkTimeoutMs = 10000;
constexpr unsigned kPrintPollMs = 200;

// A frame that breaks the link's rules in the named way; empty for an unknown name.
std::string MalformedFrame(std::string const& how) {
    if (how.empty() || how == "kind") {
        return LinkMessage({"BOGUS", "field"}).Encode();
    }
    if (how == "length") {
        return std::string("\xf0\xff\xff\xff", 4);  // announces about 4 GB
    }
    if (how == "field") {
        std::string frame;
        LinkMessage::AppendLength(frame, 8);
        LinkMessage::AppendLength(frame, 1000);  // a field longer than its frame
        return frame + "DATA";
    }
    return std::string();
}
}  // namespace

SimConsole::SimConsole(SkypeSimulator& simulator, HANDLE inputClosed)
    : mSimulator(simulator), mInputClosed(inputClosed), mPrinter([this] { PrintLinkEvents(); }) {}

SimConsole::~SimConsole() {
    {
        std::lock_guard<std::mutex> lock(mOutputLock);
        mStopping = true;
    }
    mPrinter.Join();
}

void SimConsole::Say(std::string const& line) {
    std::lock_guard<std::mutex> lock(mOutputLock);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void SimConsole::PrintLinkEvents() {
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mOutputLock);
            if (mStopping) {
                return;
            }
        }
        if (std::optional<std::string> event = mSimulator.LinkEvents().Pop(kPrintPollMs)) {
            Say(*event);
        }
    }
}

void SimConsole::WatchInput() {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (input && input != INVALID_HANDLE_VALUE && GetFileType(input) == FILE_TYPE_PIPE) {
        WorkerThread([this] { ReadInput(); }).Detach();
    }
}

void SimConsole::ReadInput() {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    std::string pending;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(input, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
        pending.append(buffer, read);
        for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            if (!line.empty()) {
                Say(Run(line));
            }
        }
        if (pending.size() > sizeof(buffer)) {
            pending.clear();  // no line is that long
        }
    }
    SetEvent(mInputClosed);
}

std::string SimConsole::Run(std::string const& line) {
    std::istringstream words(line);
    std::string command, argument, extra;
    words >> command >> argument >> extra;
    try {
        if (command == "cut") {
            mSimulator.CutLink();
        } else if (command == "link") {
            std::string host;
            unsigned short port = 0;
            if (!SplitAddress(argument, host, port)) {
                return "error: link needs HOST:PORT";
            }
            if (!mSimulator.LinkTo(host, port, kLinkTimeoutMs)) {
                return "error: cannot link to " + argument;
            }
        } else if (command == "latency" && !argument.empty() &&
                   argument.find_first_not_of("0123456789") == std::string::npos && argument.size() < 7) {
            mSimulator.SetLinkLatency(static_cast<unsigned>(std::stoul(argument)));
        } else if (command == "malformed" && !MalformedFrame(argument).empty()) {
            mSimulator.SendRawOnLink(MalformedFrame(argument));
        } else if (command == "status" && !extra.empty()) {
            mSimulator.SetOnlineStatus(argument, extra);
        } else {
            return "error: unknown or incomplete command: " + line.substr(0, 80);
        }
    } catch (std::exception const& failure) {
        return std::string("error: ") + failure.what();
    }
    return "ok " + line;
}

}  // namespace skypesim
