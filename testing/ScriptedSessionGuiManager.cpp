#include "ScriptedSessionGuiManager.h"

#include "session/ISession.h"

ScriptedSessionGuiManager::ScriptedSessionGuiManager(ScriptedSessionGui::Sink listener)
    : mListener(std::move(listener)) {}

boost::shared_ptr<ISessionGui> ScriptedSessionGuiManager::CreateSessionGui(ISession* session) {
    boost::shared_ptr<ScriptedSessionGui> gui(
        new ScriptedSessionGui(session, [this](std::string const& line) { Add(line); }));
    std::lock_guard<std::mutex> lock(mLock);
    mGuis[session->GetUserNameW()] = gui;
    return gui;
}

boost::shared_ptr<ScriptedSessionGui> ScriptedSessionGuiManager::Gui(std::string const& user) const {
    std::lock_guard<std::mutex> lock(mLock);
    auto found = mGuis.find(user);
    return found == mGuis.end() ? boost::shared_ptr<ScriptedSessionGui>() : found->second;
}

void ScriptedSessionGuiManager::Add(std::string const& line) {
    mLog.Add(line);
    if (mListener) {
        mListener(line);
    }
}
