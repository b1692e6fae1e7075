#pragma once

// The public interface of Core.dll, for the user-interface module. Everything named here is
// exported; the library's other classes are its own workings and may change at any time.
//
// Threads. The library's "main" thread is the one that loaded Core.dll. The client that
// CreateSkypeClient makes runs two threads of its own: its window's and "SkypeEvent", which
// raises every event of the client, the session manager and the sessions, and calls every
// ISessionGui method that reacts to the peer. The user interface builds and destroys the
// client, the SessionManager and the AviManager on its own thread, reads a session's state
// through ISession::ReadState and carries out the user's choices with ISession::PostOperation;
// handlers it registers must return quickly and must never wait for "SkypeEvent". Each method
// says which thread may call it.
//
// Win32 types. The headers name handles (HDC, HRGN, HBITMAP) without including <windows.h>;
// a host that uses them includes it.
//
// Ownership. Objects the host makes are the host's; sessions, states and their user interfaces'
// pointers handed to the host stay the library's (valid until SessionsChanged says otherwise);
// shared pointers (RemoteScreenSurface, AviRecorder, ISessionGui) may be kept.

#include "CorvaneApi.h"

#include "foundation/CorvaneLogging.h"
#include "foundation/Errors.h"
#include "config/ConfigGroups.h"
#include "config/Configuration.h"
#include "skype/ISkypeClient.h"
#include "session/ISession.h"
#include "session/ISessionGui.h"
#include "session/ISessionGuiManager.h"
#include "session/ISessionState.h"
#include "session/SessionManager.h"
#include "imaging/Picture.h"
#include "viewer/RemoteScreenSurface.h"
#include "recording/AviManager.h"
#include "recording/CodecList.h"
