// The library's entry point and its process-wide objects.
//
// The objects below are defined in this one file, in load order, and built before any other
// static object of the library or of its host (init priority). They are destroyed in reverse
// order when the library unloads, or when a program that links the static library exits.

#include <windows.h>

#include "capture/QuvixDriver.h"
#include "foundation/ConsoleHolder.h"
#include "foundation/CrossThreadCallQueue.h"
#include "foundation/LogFileHandler.h"
#include "foundation/MessageDispatcher.h"
#include "foundation/PreciseTimer.h"
#include "foundation/Thread.h"
#include "foundation/ThreadNameSlot.h"
#include "foundation/ThreadWindow.h"
#include "foundation/Timer.h"
#include "network/ControlMessages.h"
#include "network/NetworkMessageRegistry.h"
#include "network/ScreenChangeNetMsg.h"
#include "skype/SkypeClient.h"
#include "skype/SkypeCommand.h"

#define CORVANE_LOAD_ORDER __attribute__((init_priority(200)))

namespace {
// Every message class a peer may send, by id.
void RegisterMessages(NetworkMessageRegistry& registry) {
    registry.Register<RequestRemoteDesktopNetMsg>();
    registry.Register<ShowMyDesktopNetMsg>();
    registry.Register<ScreenChangeNetMsg>();
    registry.Register<TestConnectNetMsg>();
    registry.Register<WindowEventNetMsg>();
    registry.Register<DiscoveryNetMsg>();
    registry.Register<ClipboardNetMsg>();
    registry.Register<DesktopResolutionMsg>();
    registry.Register<ClipboardRequestNetMsg>();
    registry.Register<ClipboardAcknowledgeNetMsg>();
    registry.Register<MouseMoveNetMsg>();
}
}  // namespace

// 1. cross-thread call queue; 2. thread-name slot; 3. thread exception event; 4. main thread
// id; 5. message registry; 6. the messenger API's registered messages; 7. the command-id
// event; 8. start-up clocks and console holder; 9. dispatcher message; 10. thread window map;
// 11. log file; 12. mirror driver.
static CrossThreadCallQueue gCrossThreadCallQueue CORVANE_LOAD_ORDER;
static ThreadNameSlot gThreadNameSlot CORVANE_LOAD_ORDER;
Event<std::exception const*> Thread::OnThreadException CORVANE_LOAD_ORDER;
MainThreadId Thread::mMainThreadId CORVANE_LOAD_ORDER;
static NetworkMessageRegistry gMessageRegistry CORVANE_LOAD_ORDER(RegisterMessages);
SkypeControlMessages SkypeClient::mControlMessages CORVANE_LOAD_ORDER;
Event<std::string&> SkypeCommandId::OnGenerate CORVANE_LOAD_ORDER;
static PreciseTimer gStartupTimer CORVANE_LOAD_ORDER(true);
static Timer gStartupSecondsTimer CORVANE_LOAD_ORDER(false);
static ConsoleHolder gConsoleHolder CORVANE_LOAD_ORDER;
DispatcherMessageId MessageDispatcher::mDispatchMessage CORVANE_LOAD_ORDER;
static ThreadWindow::WindowMap gThreadWindowMap CORVANE_LOAD_ORDER;
static LogFileHandler gLogFileHandler CORVANE_LOAD_ORDER(LogFileHandler::DefaultPath(),
                                                         LogFileHandler::kMutexName);
static CQuvixDriver gQuvixDriver CORVANE_LOAD_ORDER;

// The classes reach their process-wide objects through these pointers (constant-initialised,
// so valid from the start); each object clears its pointer when it is destroyed.
CrossThreadCallQueue* CrossThreadCallQueue::mInstance = &gCrossThreadCallQueue;
ThreadNameSlot* ThreadNameSlot::mInstance = &gThreadNameSlot;
PreciseTimer const* PreciseTimer::mStartupTimer = &gStartupTimer;
Timer const* Timer::mStartupTimer = &gStartupSecondsTimer;
NetworkMessageRegistry* NetworkMessageRegistry::mInstance = &gMessageRegistry;
ConsoleHolder* ConsoleHolder::mInstance = &gConsoleHolder;
ThreadWindow::WindowMap* ThreadWindow::mMap = &gThreadWindowMap;
LogFileHandler* LogFileHandler::mInstance = &gLogFileHandler;
CQuvixDriver* CQuvixDriver::mInstance = &gQuvixDriver;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}
