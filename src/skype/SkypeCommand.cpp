#include "skype/SkypeCommand.h"

#include <windows.h>

#include <cstdio>

std::atomic<int> SkypeCommandId::mId{0};

std::string SkypeCommandId::GetNext() {
    if (!OnGenerate.IsEmpty()) {
        std::string id;
        OnGenerate(id);
        return id;
    }
    // Taken and incremented in one step: two threads never get the same id.
    unsigned value = static_cast<unsigned>(mId.fetch_add(1));
    char text[16];
    std::snprintf(text, sizeof(text), "#%x ", value);
    return text;
}

SkypeCommand::SkypeCommand(std::string const& command, unsigned timeout)
    : mId(SkypeCommandId::GetNext()), mText(mId + command), mTimeout(timeout) {}

void SkypeCommand::SetReply(std::string const& reply) {
    mReply = reply;
    mReplyEvent.Set();
}

bool SkypeCommand::WaitForReply(SyncEvent& stop) const {
    unsigned long woken = SyncEvent::Wait(mReplyEvent, stop, mTimeout);
    if (woken == 1) {
        stop.Set();  // the wait consumed it
    }
    return woken == WAIT_OBJECT_0;
}
