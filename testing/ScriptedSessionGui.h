#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "config/ConfigGroups.h"
#include "session/ISessionGui.h"

class ISession;
class ISessionState;

// A user interface for one session that a test or a host script drives: it records every
// call as one line ("<user>: <what>"), answers EditQuality from a script, and presses
// notification buttons on request or by rule. Lines go to a sink given by its manager.
//
// Recorded lines: notification "<title>" "<text>" <colour or -> [caption/flags ...], close,
// edit-quality WxHxD -> answer, leaving, show-remote WxHxD, hide-remote, clipboard-received,
// clipboard-delivered, status 0|1, state <StateClass> (every StateChanged of the session).
class ScriptedSessionGui : public ISessionGui {
public:
    using Sink = std::function<void(std::string const&)>;
    // One scripted answer to EditQuality, with the quality the user sets (size 0x0 keeps it).
    struct QualityAnswer {
        int answer = 0;
        ScreenSize resolution = {0, 0};
        unsigned colorDepth = 0;  // 0 keeps it
    };

    // `session` is not owned; the gui subscribes to its StateChanged until the session's
    // last state change (the session keeps the gui alive until then).
    ScriptedSessionGui(ISession* session, Sink sink);
    ~ScriptedSessionGui() override;

    void ShowNotification(std::string const& title, std::string const& text, std::wstring const& colour,
                          std::vector<NotificationButton> const& buttons) override;
    void CloseNotification() override;
    int EditQuality(SessionQualityConfiguration& quality) override;
    void OnStateLeaving() override;
    void ShowRemoteDesktop(SessionQualityConfiguration& quality) override;
    void OnClipboardReceived() override;
    void OnClipboardDelivered() override;
    void HideRemoteDesktop() override;
    bool IsRemoteDesktopReady() override { return true; }
    void ShowStatus(bool show) override;

    // The next EditQuality answers with this; without a script it accepts unchanged (0).
    void ScriptEditQuality(QualityAnswer const& answer);
    // Presses the button `caption` of every later notification whose text starts with
    // `textPrefix`, through the session's queue on "SkypeEvent".
    void AnswerNotifications(std::string const& textPrefix, std::string const& caption);
    // Presses button `index` of the notification shown last: queued to "SkypeEvent" by the
    // session, or raised at once on the calling thread when `direct`.
    void Press(int index, bool direct = false);
    // Runs the current state's operation `name` through the session's queue. Any thread.
    void Run(std::string const& name);
    // The buttons of the notification shown last (empty after CloseNotification).
    std::vector<NotificationButton> LastButtons() const;
    // The session's user, for messages.
    std::string const& User() const { return mUser; }

    // A quality as "WxHxD".
    static std::string QualityText(SessionQualityConfiguration const& quality);

private:
    void Record(std::string const& line);
    void OnStateChanged(ISession* session, ISessionState* state);

    ISession* mSession;  // not owned; null once it emptied
    std::string mUser;
    Sink mSink;
    mutable std::mutex mLock;
    std::deque<QualityAnswer> mQualityAnswers;
    std::vector<std::pair<std::string, std::string>> mRules;
    std::vector<NotificationButton> mLastButtons;
};
