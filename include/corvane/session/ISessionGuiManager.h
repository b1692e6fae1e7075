#pragma once

#include <boost/shared_ptr.hpp>

#include "session/ISessionGui.h"

class ISession;

// The user-interface module's factory of session user interfaces. It must outlive the
// SessionManager it is given to.
class ISessionGuiManager {
public:
    virtual ~ISessionGuiManager() = default;

    // Called once per new session on "SkypeEvent", before the session starts; must return a
    // user interface, never an empty pointer.
    virtual boost::shared_ptr<ISessionGui> CreateSessionGui(ISession* session) = 0;
};
