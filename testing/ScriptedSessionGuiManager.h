#pragma once

#include <map>
#include <mutex>
#include <string>

#include <boost/shared_ptr.hpp>

#include "RecordLog.h"
#include "ScriptedSessionGui.h"
#include "session/ISessionGuiManager.h"

// Makes a ScriptedSessionGui for every session and collects all their lines, in order, in
// one log; a listener may see each line as it comes (on the calling thread).
class ScriptedSessionGuiManager : public ISessionGuiManager {
public:
    explicit ScriptedSessionGuiManager(ScriptedSessionGui::Sink listener = ScriptedSessionGui::Sink());

    // "SkypeEvent".
    boost::shared_ptr<ISessionGui> CreateSessionGui(ISession* session) override;

    // The newest user interface made for `user`; empty when there is none.
    boost::shared_ptr<ScriptedSessionGui> Gui(std::string const& user) const;
    RecordLog& Log() { return mLog; }
    RecordLog const& Log() const { return mLog; }

private:
    void Add(std::string const& line);

    ScriptedSessionGui::Sink mListener;
    RecordLog mLog;
    mutable std::mutex mLock;
    std::map<std::string, boost::shared_ptr<ScriptedSessionGui>> mGuis;
};
