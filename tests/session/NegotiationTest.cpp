// The negotiation between two managers, driven from both scripted user interfaces.

#include "SessionTestSupport.h"
#include "WorkerThread.h"

namespace session_test {
namespace {

struct Row {
    char const* name;
    std::vector<std::string> steps;
};

// Steps: "<side><verb> <text>" with side A (alice) or B (bob) and verb
//   >  run the current state's operation <text> (queued to "SkypeEvent")
//   !  press the button <text> of the last notification (queued); !! presses it directly
//   =  the next quality dialog answers: "<answer> [WxHxD]"
//   #  the configured resolution: "WxH"
//   ~  StopDisplaying(true) from a thread of its own
//   ?  wait for a line of the session that contains <text>
Row const kRows[] = {
    {"request, accept, the viewer stops from another thread",
     {"A> Request remote desktop", "A? edit-quality 1024x768x16 -> 0", "A? state WaitingConfirmationState",
      "B? \"User wants to see your desktop\" - [Accept/0 Decline/0]", "B! Accept", "B? close",
      "B? state TrackingState", "A? show-remote 1024x768x16", "A? state DisplayingState", "A~",
      "A? hide-remote", "A? \"Session was stopped.\" red []", "A? state AvailableState",
      "B? \"Remote user aborted session.\" red []", "B? state AvailableState"}},
    {"request, decline",
     {"A> Request remote desktop", "B? \"User wants to see your desktop\"", "B! Decline", "B? close",
      "B? state AvailableState", "A? \"Remote user declined to share desktop.\" red []",
      "A? state AvailableState"}},
    {"request, the requester cancels",
     {"A> Request remote desktop", "A? state WaitingConfirmationState",
      "B? \"User wants to see your desktop\"", "A> Cancel", "A? state AvailableState",
      "B? \"Remote user cancelled request.\" red []", "B? close", "B? state AvailableState"}},
    {"a declined quality dialog asks nothing; best fit requests the requester's own desktop size",
     {"A= 1", "A> Request remote desktop", "A? edit-quality 1024x768x16 -> 1", "A# 0x0",
      "A> Request remote desktop", "A? edit-quality 0x0x16 -> 0", "A? state WaitingConfirmationState",
      "B? \"User wants to see your desktop\"", "B!! Accept", "B? state TrackingState",
      "A? show-remote 1280x1024x16", "A? state DisplayingState", "B> Stop sharing desktop",
      "B? state AvailableState", "A? \"Remote user aborted session.\" red []", "A? hide-remote",
      "A? state AvailableState", "A# 1024x768"}},
    {"share, accept, the viewer stops",
     {"A> Share my desktop", "A? state WaitingConfirmationState",
      "B? \"User wants you to see remote desktop (1024x768x16). Accept?\" - [Accept/4 Decline/0 More.../0]",
      "B! Accept", "B? show-remote 1024x768x16", "B? state DisplayingState", "A? state TrackingState",
      "B> Stop displaying", "B? hide-remote", "B? \"Session was stopped.\" red []", "B? state AvailableState",
      "A? \"Remote user aborted session.\" red []", "A? state AvailableState"}},
    {"share, decline",
     {"A> Share my desktop", "B? \"User wants you to see remote desktop", "B! Decline",
      "B? state AvailableState", "A? \"Remote user declined to view desktop.\" red []",
      "A? state AvailableState"}},
    {"share, More... accepts an edited quality, the sharer stops",
     {"B= 0 640x480x8", "A> Share my desktop", "B? \"User wants you to see remote desktop", "B! More...",
      "B? edit-quality 1024x768x16 -> 0", "B? show-remote 640x480x8", "B? state DisplayingState",
      "A? state TrackingState", "A> Stop sharing desktop", "A? state AvailableState",
      "B? \"Remote user aborted session.\" red []", "B? state AvailableState"}},
    {"share, More... declines",
     {"B= 1", "A> Share my desktop", "B? \"User wants you to see remote desktop", "B! More...",
      "B? edit-quality 1024x768x16 -> 1", "B? state AvailableState",
      "A? \"Remote user declined to view desktop.\"", "A? state AvailableState"}},
    {"share, More... with another answer leaves the question open, the sharer cancels",
     {"B= 2", "A> Share my desktop", "B? \"User wants you to see remote desktop", "B! More...",
      "B? edit-quality 1024x768x16 -> 2", "A> Cancel", "A? state AvailableState",
      "B? \"Remote user cancelled request.\" red []", "B? state AvailableState"}},
};

class Negotiation : public AliceAndContacts {
protected:
    void Step(std::string const& step) {
        SCOPED_TRACE(step);
        Side& side = step[0] == 'A' ? *alice : *bob;
        std::string const verb = step.substr(1, step.find(' ') == std::string::npos ? 1 : step.find(' ') - 1);
        std::string const text = step.find(' ') == std::string::npos ? "" : step.substr(step.find(' ') + 1);
        if (verb == "?") {
            ASSERT_TRUE(side.Expect(text)) << side.Pending();
        } else if (verb == ">") {
            side.Gui()->Run(text);
        } else if (verb == "!" || verb == "!!") {
            Press(side, text, verb == "!!");
        } else if (verb == "=") {
            side.Gui()->ScriptEditQuality(Answer(text));
        } else if (verb == "#") {
            side.config.SessionQuality.Resolution.Set(Size(text));
        } else if (verb == "~") {
            Session* session = side.ContactSession();
            WorkerThread([session] { session->StopDisplaying(true); }).Join();
        } else {
            FAIL() << "unknown step";
        }
    }

    static void Press(Side& side, std::string const& caption, bool direct) {
        std::vector<NotificationButton> buttons = side.Gui()->LastButtons();
        for (std::size_t i = 0; i < buttons.size(); ++i) {
            if (buttons[i].caption == caption) {
                side.Gui()->Press(static_cast<int>(i), direct);
                return;
            }
        }
        FAIL() << "no button " << caption;
    }

    static tagSIZE Size(std::string const& text) {
        return {std::stoi(text), std::stoi(text.substr(text.find('x') + 1))};
    }

    static ScriptedSessionGui::QualityAnswer Answer(std::string const& text) {
        ScriptedSessionGui::QualityAnswer answer;
        answer.answer = std::stoi(text);
        std::size_t blank = text.find(' ');
        if (blank != std::string::npos) {
            std::string const shape = text.substr(blank + 1);
            answer.resolution = Size(shape);
            answer.colorDepth = static_cast<unsigned>(std::stoul(shape.substr(shape.rfind('x') + 1)));
        }
        return answer;
    }
};

TEST_F(Negotiation, EveryRowFromBothSides) {
    for (Row const& row : kRows) {
        SCOPED_TRACE(row.name);
        for (std::string const& step : row.steps) {
            Step(step);
            if (HasFatalFailure()) {
                return;
            }
        }
    }
}

}  // namespace
}  // namespace session_test
