#include "ScriptedSessionGui.h"

#include "foundation/TypeName.h"
#include "session/ISessionState.h"
#include "session/Session.h"

namespace {
std::string Narrow(std::wstring const& text) {
    std::string narrow;
    for (wchar_t c : text) {
        narrow += c < 128 ? static_cast<char>(c) : '?';
    }
    return narrow;
}
}  // namespace

ScriptedSessionGui::ScriptedSessionGui(ISession* session, Sink sink)
    : mSession(session), mUser(session->GetUserNameW()), mSink(std::move(sink)) {
    mSession->StateChanged.Add(MakeDelegate<&ScriptedSessionGui::OnStateChanged>(this));
}

ScriptedSessionGui::~ScriptedSessionGui() {
    if (mSession) {
        mSession->StateChanged.Remove(MakeDelegate<&ScriptedSessionGui::OnStateChanged>(this));
    }
}

std::string ScriptedSessionGui::QualityText(SessionQualityConfiguration const& quality) {
    tagSIZE const size = quality.Resolution.Get();
    return std::to_string(size.cx) + "x" + std::to_string(size.cy) + "x" +
           std::to_string(quality.ColorDepth.Get());
}

void ScriptedSessionGui::Record(std::string const& line) {
    if (mSink) {
        mSink(mUser + ": " + line);
    }
}

void ScriptedSessionGui::OnStateChanged(ISession* session, ISessionState* state) {
    Record("state " + (state ? TypeName(typeid(*state)) : std::string("none")));
    if (!state) {
        // The session is emptying: it calls nothing of ours after this.
        session->StateChanged.Remove(MakeDelegate<&ScriptedSessionGui::OnStateChanged>(this));
        mSession = nullptr;
    }
}

void ScriptedSessionGui::ShowNotification(std::string const& title, std::string const& text,
                                          std::wstring const& colour,
                                          std::vector<NotificationButton> const& buttons) {
    std::string line =
        "notification \"" + title + "\" \"" + text + "\" " + (colour.empty() ? "-" : Narrow(colour));
    line += " [";
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        line += (i ? " " : "") + buttons[i].caption + "/" + std::to_string(buttons[i].flags);
    }
    Record(line + "]");
    int press = -1;
    {
        std::lock_guard<std::mutex> lock(mLock);
        if (!buttons.empty()) {
            mLastButtons = buttons;
        }
        for (auto const& rule : mRules) {
            if (text.compare(0, rule.first.size(), rule.first) != 0) {
                continue;
            }
            for (std::size_t i = 0; i < buttons.size(); ++i) {
                if (buttons[i].caption == rule.second) {
                    press = static_cast<int>(i);
                }
            }
        }
    }
    if (press >= 0) {
        Press(press);
    }
}

void ScriptedSessionGui::CloseNotification() {
    {
        std::lock_guard<std::mutex> lock(mLock);
        mLastButtons.clear();
    }
    Record("close");
}

int ScriptedSessionGui::EditQuality(SessionQualityConfiguration& quality) {
    QualityAnswer answer;
    {
        std::lock_guard<std::mutex> lock(mLock);
        if (!mQualityAnswers.empty()) {
            answer = mQualityAnswers.front();
            mQualityAnswers.pop_front();
        }
    }
    std::string const before = QualityText(quality);
    if (answer.resolution.cx != 0 || answer.resolution.cy != 0) {
        quality.Resolution.Set(answer.resolution);
    }
    if (answer.colorDepth != 0) {
        quality.ColorDepth.Set(answer.colorDepth);
    }
    Record("edit-quality " + before + " -> " + std::to_string(answer.answer));
    return answer.answer;
}

void ScriptedSessionGui::OnStateLeaving() {
    Record("leaving");
}

void ScriptedSessionGui::ShowRemoteDesktop(SessionQualityConfiguration& quality) {
    Record("show-remote " + QualityText(quality));
}

void ScriptedSessionGui::OnClipboardReceived() {
    Record("clipboard-received");
}

void ScriptedSessionGui::OnClipboardDelivered() {
    Record("clipboard-delivered");
}

void ScriptedSessionGui::HideRemoteDesktop() {
    Record("hide-remote");
}

void ScriptedSessionGui::ShowStatus(bool show) {
    Record(std::string("status ") + (show ? "1" : "0"));
}

void ScriptedSessionGui::ScriptEditQuality(QualityAnswer const& answer) {
    std::lock_guard<std::mutex> lock(mLock);
    mQualityAnswers.push_back(answer);
}

void ScriptedSessionGui::AnswerNotifications(std::string const& textPrefix, std::string const& caption) {
    std::lock_guard<std::mutex> lock(mLock);
    mRules.emplace_back(textPrefix, caption);
}

void ScriptedSessionGui::Press(int index, bool direct) {
    if (direct) {
        NotificationClicked(index, std::string());
    } else if (Session* session = dynamic_cast<Session*>(mSession)) {
        session->PostNotificationClick(index);
    }
}

void ScriptedSessionGui::Run(std::string const& name) {
    if (Session* session = dynamic_cast<Session*>(mSession)) {
        session->PostOperation(name);
    }
}

std::vector<NotificationButton> ScriptedSessionGui::LastButtons() const {
    std::lock_guard<std::mutex> lock(mLock);
    return mLastButtons;
}
