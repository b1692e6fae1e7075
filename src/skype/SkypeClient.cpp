#include "skype/SkypeClient.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <sstream>

#include "foundation/CorvaneLogging.h"
#include "foundation/Errors.h"
#include "foundation/FileHelper.h"
#include "foundation/StringHelper.h"
#include "skype/SkypeCommand.h"

namespace {

wchar_t const kWindowName[] = L"Halvik.Corvane.ClientWindow";
constexpr unsigned long kIdleMs = 50;
constexpr unsigned long kReAttachMs = 10000;
constexpr unsigned long kJoinMs = 2000;
// A messenger that has not taken a text by then is hung: commands give up after 1 s anyway.
constexpr UINT kSendTimeoutMs = 2000;
constexpr std::size_t kLoggedChars = 80;

constexpr LPARAM kAttachSuccess = 0;
constexpr LPARAM kAttachPending = 1;
constexpr LPARAM kAttachRefused = 2;
constexpr LPARAM kAttachNotAvailable = 3;
constexpr LPARAM kAttachApiAvailable = 0x8001;

bool Contains(std::string const& text, char const* part) {
    return text.find(part) != std::string::npos;
}

// Stream traffic is frequent and large: it goes to the file only.
bool IsStreamTraffic(std::string const& text) {
    return Contains(text, "APPLICATION") && (Contains(text, "WRITE") || Contains(text, "DATAGRAM") ||
                                             Contains(text, "READ") || Contains(text, "RECEIVE"));
}

void LogTraffic(char const* prefix, std::string const& text) {
    if (!CorvaneLogging::IsLoggingEnabled()) {
        return;
    }
    std::stringstream message;
    message << prefix << text.substr(0, kLoggedChars);
    CorvaneLogging::CorvaneDebugOutput(
        message, IsStreamTraffic(text) ? CorvaneLogging::LogFile : CorvaneLogging::LogBoth);
}

// The record's text, never read beyond its byte count.
std::string TextOf(COPYDATASTRUCT const& record) {
    char const* data = static_cast<char const*>(record.lpData);
    std::size_t size = record.cbData;
    if (data[size - 1] != '\0') {
        return std::string(data, size);
    }
    return std::string(data, strnlen(data, size));
}

bool IsNonEmptyFile(std::string const& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    return GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) &&
           !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
           (data.nFileSizeHigh != 0 || data.nFileSizeLow != 0);
}

}  // namespace

SkypeClient::SkypeClient() : SkypeClient(nullptr, 0, 0) {}

SkypeClient::SkypeClient(IWindow* window, unsigned int discoverMessage, unsigned int attachMessage)
    : mWindow(window ? window : &mOwnWindow),
      mEventThread("SkypeEvent"),
      mDiscoverMessage(discoverMessage ? discoverMessage : mControlMessages.discover),
      mAttachMessage(attachMessage ? attachMessage : mControlMessages.attach),
      mReAttachThread("SkypeReAttach") {
    mWindow->SetMessageHandler(this);
    if (!window) {
        mOwnWindow.Create(kWindowName);
    }
    if (!mWindow->GetHwnd()) {
        DetachFromWindow();
        Raise(SkypeError("HWND wasn't created in Skype client window"));
    }
    mEventThread.Bind(MakeDelegate<&SkypeClient::EventThreadBody>(this));
    mReAttachThread.Bind(MakeDelegate<&SkypeClient::ReAttachThreadBody>(this));
    try {
        mEventThread.Start();
    } catch (...) {
        DetachFromWindow();
        throw;
    }
    mEventThread.SetPriority(THREAD_PRIORITY_HIGHEST);
}

std::unique_ptr<ISkypeClient> CreateSkypeClient(unsigned int discoverMessage, unsigned int attachMessage) {
    return std::unique_ptr<ISkypeClient>(new SkypeClient(nullptr, discoverMessage, attachMessage));
}

SkypeClient::~SkypeClient() {
    // Wakes a command that waits for its reply on either thread, then waits for both threads
    // to end: they use the locks and the queue destroyed below.
    mClosing.Set();
    StopThread(mReAttachThread);
    StopThread(mEventThread);
    DetachFromWindow();
    mWindow->Close();
    std::string loggerName;
    {
        CriticalSectionLock lock(mStateLock);
        mSkypeWindow = nullptr;
        loggerName.swap(mLoggerName);
    }
    ForgetLoggerName(loggerName);
}

// Never leaves a thread running over a destroyed client: a handler that takes long is waited
// for, and logged.
void SkypeClient::StopThread(Thread& thread) {
    while (!thread.Join(kJoinMs, false)) {
        CORVANE_LOG("Still waiting for a Skype client thread to end");
    }
}

// The logger name is process-wide: only the name this client set is taken back.
void SkypeClient::ForgetLoggerName(std::string const& name) {
    if (!name.empty() && CorvaneLogging::GetLoggerName() == name) {
        CorvaneLogging::SetLoggerName("");
    }
}

void SkypeClient::SetLoggerName(std::string const& name) {
    mLoggerName = name;
    CorvaneLogging::SetLoggerName(name);
}

void SkypeClient::DetachFromWindow() {
    mWindow->SetMessageHandler(nullptr);  // waits for a running Handle
}

// --- attach state

void SkypeClient::Attach() {
    CriticalSectionLock lock(mStateLock);
    if (!mReAttachThread.IsAlive()) {
        mReAttachThread.ResetStopEvent();
        mReAttachThread.Start();
    }
}

ISkypeClient::AttachStatus SkypeClient::GetAttachStatus() {
    CriticalSectionLock lock(mStateLock);
    return mAttachStatus;
}

std::string SkypeClient::GetCurrentUser() const {
    CriticalSectionLock lock(mStateLock);
    if (mAttachStatus != AttachSuccess) {
        return "logged out";
    }
    return mCurrentUser.empty() ? "<unknown>" : mCurrentUser;
}

HWND SkypeClient::GetSkypeWindow() const {
    CriticalSectionLock lock(mStateLock);
    return mSkypeWindow;
}

void SkypeClient::SetStatus(AttachStatus status) {
    CriticalSectionLock lock(mStateLock);
    if (mAttachStatus != status) {
        mAttachStatus = status;
        QueueNotification("attach");
    }
}

void SkypeClient::SetStatusWhileUnchosen(AttachStatus status) {
    CriticalSectionLock lock(mStateLock);
    if (!mSkypeWindow) {
        SetStatus(status);
    }
}

void SkypeClient::DoCurrentUser(std::string const& user) {
    {
        CriticalSectionLock lock(mStateLock);
        mCurrentUser = user;
        SetLoggerName(user);
    }
    OnCurrentUser(user);
}

void SkypeClient::DoConnectionStatus(std::string const& status) {
    if (status == "LOGGEDOUT") {
        Logout();
    }
}

void SkypeClient::Logout() {
    std::string loggerName;
    {
        CriticalSectionLock lock(mStateLock);
        SetStatus(AttachNotAvailable);
        mCurrentUser.clear();
        mUserLock.Unlock();
        mSkypeWindow = nullptr;
        mCandidates.clear();
        mLogoutQueued = false;
        loggerName.swap(mLoggerName);
    }
    OnLogout();
    ForgetLoggerName(loggerName);
}

// --- window messages (window thread)

int SkypeClient::Handle(tagMSG const& message) {
    HWND sender = reinterpret_cast<HWND>(message.wParam);
    if (message.message == WM_COPYDATA) {
        return HandleCopyData(sender, reinterpret_cast<COPYDATASTRUCT const*>(message.lParam));
    }
    if (message.message == mAttachMessage) {
        HandleAttach(sender, message.lParam);
        return 1;
    }
    return 0;
}

int SkypeClient::HandleCopyData(HWND sender, COPYDATASTRUCT const* record) {
    HWND skype = GetSkypeWindow();
    if (skype && sender != skype) {
        return 0;
    }
    if (!record || record->cbData == 0 || !record->lpData) {
        return 1;
    }
    // Before attachment any window may send; only a candidate's text is worth reading.
    if (!skype && !IsCandidate(sender)) {
        CORVANE_LOG("Skype window " << sender << " not found in list");
        return 1;
    }
    std::string text = TextOf(*record);
    LogTraffic("S=>: ", text);
    if (!skype) {
        CheckCandidate(sender, text);
    } else if (text.empty()) {
        CORVANE_LOG("Empty response from Skype - ignored");
    } else if (text[0] == '#') {
        CompleteCommand(text);
    } else {
        QueueReceived(text);
    }
    return 1;
}

void SkypeClient::HandleAttach(HWND sender, LPARAM status) {
    switch (status) {
        case kAttachSuccess:
            CORVANE_LOG("ATTACH SUCCESS from Skype");
            HandleAttachSuccess(sender);
            break;
        case kAttachPending:
            CORVANE_LOG("ATTACH PENDING from Skype");
            SetStatusWhileUnchosen(AttachPending);
            break;
        case kAttachRefused:
            CORVANE_LOG("ATTACH REFUSED from Skype");
            SetStatusWhileUnchosen(AttachRefused);
            break;
        case kAttachNotAvailable:
            CORVANE_LOG("ATTACH NOT AVAIL from Skype");
            SetStatusWhileUnchosen(AttachNotAvailable);
            break;
        case kAttachApiAvailable:
            CORVANE_LOG("ATTACH API AVAIL from Skype");
            break;
        default:
            break;
    }
}

void SkypeClient::HandleAttachSuccess(HWND sender) {
    {
        CriticalSectionLock lock(mStateLock);
        if (mAttachStatus == AttachSuccess) {
            return;
        }
        if (std::find(mCandidates.begin(), mCandidates.end(), sender) == mCandidates.end()) {
            mCandidates.push_back(sender);
        }
    }
    // Its answer comes back as WM_COPYDATA and goes through CheckCandidate.
    if (DWORD error = SendText(sender, "GET CURRENTUSERHANDLE")) {
        CORVANE_LOG("Failed to send Skype message: " << GetSystemErrorDescription(error));
    }
}

bool SkypeClient::IsCandidate(HWND sender) const {
    CriticalSectionLock lock(mStateLock);
    return std::find(mCandidates.begin(), mCandidates.end(), sender) != mCandidates.end();
}

void SkypeClient::CheckCandidate(HWND sender, std::string const& text) {
    CriticalSectionLock lock(mStateLock);
    auto candidate = std::find(mCandidates.begin(), mCandidates.end(), sender);
    if (candidate == mCandidates.end()) {
        CORVANE_LOG("Skype window " << sender << " not found in list");
        return;
    }
    std::vector<std::string> captures;
    if (!StringHelper::WildcardMatch(text, "CURRENTUSERHANDLE *", captures, true)) {
        return;
    }
    std::string const& user = captures[0];
    if (mUserLock.IsLock(user)) {
        CORVANE_LOG("Skype window " << sender << " is locked");
        // Holding the name would keep the account taken for everybody, this instance included.
        mUserLock.Unlock();
        mCandidates.erase(candidate);
        return;
    }
    mSkypeWindow = sender;
    mCurrentUser = user;
    SetLoggerName(user);
    SetStatus(AttachSuccess);
    mCandidates.clear();
    QueueNotification("currentuser");
}

void SkypeClient::CompleteCommand(std::string const& text) {
    std::size_t blank = text.find(' ');
    if (blank == std::string::npos) {
        return;
    }
    CriticalSectionLock lock(mRepliesLock);
    auto pending = mPendingCommands.find(text.substr(0, blank + 1));
    if (pending != mPendingCommands.end()) {
        pending->second->SetReply(text.substr(blank + 1));
        mPendingCommands.erase(pending);
    }
}

// --- sending

DWORD SkypeClient::SendText(HWND target, std::string const& text) {
    LogTraffic("=>S: ", text);
    COPYDATASTRUCT record = {0, static_cast<DWORD>(text.size() + 1), const_cast<char*>(text.c_str())};
    DWORD_PTR result = 0;
    // A hung messenger must not hang the sender (often the window thread) for ever.
    SetLastError(0);
    LRESULT sent = SendMessageTimeoutW(target, WM_COPYDATA, reinterpret_cast<WPARAM>(GetWindowHandle()),
                                       reinterpret_cast<LPARAM>(&record), SMTO_NORMAL | SMTO_ABORTIFHUNG,
                                       kSendTimeoutMs, &result);
    if (sent != 0 && result != 0) {
        return 0;
    }
    DWORD error = GetLastError();
    return error ? error : ERROR_GEN_FAILURE;  // refused without a system error
}

void SkypeClient::Send(std::string const& text) {
    HWND skype = GetSkypeWindow();
    if (!skype) {
        CORVANE_LOG("Plugin is not attached to Skype");
        return;
    }
    if (DWORD error = SendText(skype, text)) {
        CORVANE_LOG("Failed to send Skype message: " << GetSystemErrorDescription(error));
        // A messenger that does not take texts any more has gone: treated as a logout, once
        // however many sends fail before it is carried out.
        CriticalSectionLock lock(mStateLock);
        if (mSkypeWindow == skype && !mLogoutQueued) {
            mLogoutQueued = true;
            QueueNotification("CONNSTATUS LOGGEDOUT");
        }
    }
}

void SkypeClient::Send(SkypeCommand& command) {
    {
        CriticalSectionLock lock(mRepliesLock);
        // A command that still waits under the same id keeps it: its reply is its own.
        if (!mPendingCommands.emplace(command.GetId(), &command).second) {
            Raise(SkypeError("Command id already waiting: " + command.GetText()));
        }
    }
    try {
        Send(command.GetText());
    } catch (...) {
        Withdraw(command);
        throw;
    }
    // A reply that arrives after the time-out finds no entry, so it never reaches a command
    // that is gone; one that beat the withdrawal counts.
    bool answered = command.WaitForReply(mClosing) || !Withdraw(command);
    if (!answered) {
        Raise(SkypeError("Command timeout: " + command.GetText()));
    }
    if (command.GetReply().compare(0, 5, "ERROR") == 0) {
        Raise(SkypeError("Command error: " + command.GetReply()));
    }
}

bool SkypeClient::Withdraw(SkypeCommand const& command) {
    CriticalSectionLock lock(mRepliesLock);
    auto pending = mPendingCommands.find(command.GetId());
    if (pending == mPendingCommands.end() || pending->second != &command) {
        return false;
    }
    mPendingCommands.erase(pending);
    return true;
}

// --- user information

ISkypeClient::UserInfo SkypeClient::GetUserInfo(std::string const& user, bool avatar) {
    UserInfo info;
    try {
        info.online = GetUserProperty(user, "ONLINESTATUS") == "ONLINE" ? 1 : 0;
    } catch (std::exception const&) {
        // the flag stays at -1
    }
    try {
        info.fullName = GetUserProperty(user, "FULLNAME");
    } catch (std::exception const&) {
        // no name
    }
    if (avatar) {
        info.avatarPath = FetchAvatar(user);
    }
    return info;
}

// The reply to "GET USER user PROPERTY" after its echo "USER user PROPERTY ".
std::string SkypeClient::GetUserProperty(std::string const& user, std::string const& property) {
    std::string reply = SendCommand("GET USER " + user + " " + property, false);
    std::size_t echo = ("USER " + user + " " + property + " ").size();
    return reply.size() > echo ? reply.substr(echo) : std::string();
}

std::string SkypeClient::FetchAvatar(std::string const& user) {
    std::string folder = FileHelper::CombinePath(FileHelper::GetModulePath(), "avatars");
    FileHelper::CreateFullPath(folder);
    // The handle comes from the messenger: it must stay one name inside the folder.
    std::string file = folder + "\\" + FileHelper::ReplaceInvalidChars(user, '_');
    DeleteFileA(file.c_str());
    SendCommand("GET USER " + user + " AVATAR 1 " + file, false);
    return IsNonEmptyFile(file) ? file : std::string();
}

// --- notification thread

void SkypeClient::QueueNotification(std::string const& text) {
    CriticalSectionLock lock(mQueueLock);
    mQueue.push_back(text);
    mQueuedBytes += text.size();
    mQueueEvent.Set();
}

// The messenger's own texts are bounded; the library's internal ones always go in.
void SkypeClient::QueueReceived(std::string const& text) {
    {
        CriticalSectionLock lock(mQueueLock);
        if (mQueue.size() < kMaxQueuedTexts && mQueuedBytes + text.size() <= kMaxQueuedBytes) {
            mQueue.push_back(text);
            mQueuedBytes += text.size();
            mQueueEvent.Set();
            return;
        }
    }
    CORVANE_LOG("Notification queue full, dropped: " << text.substr(0, kLoggedChars));
}

void SkypeClient::EventThreadBody() {
    for (;;) {
        unsigned long woken = SyncEvent::Wait(mEventThread.GetStopEvent(), mQueueEvent, kIdleMs);
        if (woken == WAIT_TIMEOUT) {
            RaiseIdle();
            continue;
        }
        if (woken != 1) {
            return;  // stopped, or the wait failed
        }
        RaiseIdle();
        if (!ProcessQueue()) {
            return;
        }
    }
}

// False when the thread was asked to stop in the middle of the batch.
bool SkypeClient::ProcessQueue() {
    std::list<std::string> texts;
    {
        CriticalSectionLock lock(mQueueLock);
        texts.swap(mQueue);
        mQueuedBytes = 0;
    }
    for (std::string const& text : texts) {
        LogTraffic("Processing reply ", text);
        try {
            ProcessSkypeResponse(text);
        } catch (std::exception const& error) {
            CORVANE_LOG("ERROR processing Skype reply `" << text << "`: " << error.what());
        } catch (...) {
            CORVANE_LOG("UNHANDLED ERROR processing Skype reply `" << text << "`");
        }
        if (mEventThread.GetStopEvent().Wait(0) == WAIT_OBJECT_0) {
            return false;
        }
    }
    return true;
}

// A failing idle handler must not end the thread that raises every event.
void SkypeClient::RaiseIdle() {
    try {
        OnIdle();
    } catch (std::exception const& error) {
        CORVANE_LOG("ERROR in Skype idle handler: " << error.what());
    } catch (...) {
        CORVANE_LOG("UNHANDLED ERROR in Skype idle handler");
    }
}

// --- re-attach thread

void SkypeClient::ReAttachThreadBody() {
    do {
        if (GetAttachStatus() != AttachSuccess) {
            mWindow->SendMessageW(HWND_BROADCAST, mDiscoverMessage,
                                  reinterpret_cast<WPARAM>(GetWindowHandle()), 0, true);
        }
    } while (mReAttachThread.GetStopEvent().Wait(kReAttachMs) == WAIT_TIMEOUT);
}
