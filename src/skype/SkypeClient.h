#pragma once

#include <windows.h>

#include <list>
#include <map>
#include <string>

#include "foundation/CriticalSection.h"
#include "foundation/IWindow.h"
#include "foundation/Mutex.h"
#include "foundation/SyncEvent.h"
#include "foundation/Thread.h"
#include "foundation/ThreadWindow.h"
#include "skype/ISkypeClient.h"

// The desktop API's two registered messages, registered while the library loads.
struct SkypeControlMessages {
    UINT discover = RegisterWindowMessageW(L"SkypeControlAPIDiscover");
    UINT attach = RegisterWindowMessageW(L"SkypeControlAPIAttach");
};

// The messenger client over the desktop API's window messages. Its window's thread receives
// the messenger's texts: it completes waiting commands and queues everything else for the
// notification thread "SkypeEvent", which raises every event. "SkypeReAttach" repeats the
// discover broadcast every 10 s while not attached. Build and destroy it on one thread; the
// other members may be called from any thread, commands from any but the window's own.
class SkypeClient : public IWindowMessageHandler, public ISkypeClient {
public:
    // Notifications waiting for "SkypeEvent", at most: a peer's datagrams can pile up while it
    // is busy. Beyond either bound the messenger's texts are dropped, and logged.
    static constexpr std::size_t kMaxQueuedTexts = 4096;
    static constexpr std::size_t kMaxQueuedBytes = 16u * 1024 * 1024;

    // Its own window, the API's registered messages.
    SkypeClient();
    // `window` must exist already, is not owned, must outlive the client and is closed by its
    // destructor; null makes the client's own window. A zero message id means the API's registered message.
    // Raises SkypeError "HWND wasn't created in Skype client window" without a window handle.
    SkypeClient(IWindow* window, unsigned int discoverMessage, unsigned int attachMessage);
    // Wakes commands that wait for a reply, waits for both threads to end (however long a
    // handler takes), detaches from the window and closes it. Not from the client's own
    // threads or handlers.
    ~SkypeClient() override;
    SkypeClient(SkypeClient const&) = delete;
    SkypeClient& operator=(SkypeClient const&) = delete;

    using ISkypeClient::Send;
    void Send(std::string const& text) override;
    void Send(SkypeCommand& command) override;
    void Attach() override;
    AttachStatus GetAttachStatus() override;
    UserInfo GetUserInfo(std::string const& user, bool avatar) override;
    std::string GetCurrentUser() const override;

    // The window the messenger sends to.
    HWND GetWindowHandle() const { return mWindow->GetHwnd(); }

    static SkypeControlMessages mControlMessages;  // the object lives in Core.cpp

protected:
    void DoCurrentUser(std::string const& user) override;
    void DoConnectionStatus(std::string const& status) override;

private:
    int Handle(tagMSG const& message) override;
    int HandleCopyData(HWND sender, COPYDATASTRUCT const* record);
    void HandleAttach(HWND sender, LPARAM status);
    void HandleAttachSuccess(HWND sender);
    bool IsCandidate(HWND sender) const;
    void CheckCandidate(HWND sender, std::string const& text);
    void CompleteCommand(std::string const& text);
    void SetStatusWhileUnchosen(AttachStatus status);
    void SetStatus(AttachStatus status);
    HWND GetSkypeWindow() const;

    // The system's error code, 0 when the messenger took the text.
    DWORD SendText(HWND target, std::string const& text);
    // True when the command was still pending, and is no longer.
    bool Withdraw(SkypeCommand const& command);
    std::string GetUserProperty(std::string const& user, std::string const& property);
    std::string FetchAvatar(std::string const& user);
    void Logout();
    void SetLoggerName(std::string const& name);
    static void ForgetLoggerName(std::string const& name);
    static void StopThread(Thread& thread);

    void QueueNotification(std::string const& text);
    void QueueReceived(std::string const& text);
    void EventThreadBody();
    bool ProcessQueue();
    void RaiseIdle();
    void ReAttachThreadBody();
    void DetachFromWindow();

    ThreadWindow mOwnWindow;      // used when no window is given
    IWindow* mWindow;             // mOwnWindow or the given one (not owned)
    HWND mSkypeWindow = nullptr;  // the messenger's window; null while not attached
    Thread mEventThread;
    UINT mDiscoverMessage;
    UINT mAttachMessage;
    AttachStatus mAttachStatus = AttachNone;
    std::string mCurrentUser;
    Thread mReAttachThread;
    Mutex mUserLock;              // named after the attached user: one instance per messenger account
    std::list<HWND> mCandidates;  // messenger windows that reported success, not yet checked
    bool mLogoutQueued = false;   // a failed send has queued the logout
    std::string mLoggerName;      // the process-wide logger name this client set
    // Guards the attach state above (window, status, user, user lock, candidates, logout flag,
    // logger name) and the start of the re-attach thread.
    mutable CriticalSection mStateLock;

    CriticalSection mRepliesLock;
    std::map<std::string, SkypeCommand*> mPendingCommands;  // by id; not owned

    std::list<std::string> mQueue;  // notifications for "SkypeEvent"
    std::size_t mQueuedBytes = 0;
    CriticalSection mQueueLock;
    SyncEvent mQueueEvent;
    SyncEvent mClosing;  // set by the destructor: commands stop waiting for replies
};
