// One session: state switches, the deferred stop and sending before the channels are up.

#include "SessionTestSupport.h"
#include "../ErrorText.h"
#include "WorkerThread.h"
#include "foundation/Errors.h"
#include "session/AvailableState.h"
#include "session/SessionState.h"
#include "skype/SkypeApplication.h"

namespace session_test {
namespace {

// Records its start and end; the second kind switches to a third state from OnStarted.
class ProbeState : public SessionState {
public:
    ProbeState(std::vector<std::string>& log, std::string name, bool switchOnStart)
        : mLog(log), mName(std::move(name)), mSwitch(switchOnStart) {}
    ~ProbeState() override { mLog.push_back("deleted " + mName); }
    std::string GetDescription(bool) override { return mName; }
    SessionTable::State TableState() const override { return SessionTable::State::Available; }
    void OnStarted() override {
        mLog.push_back("started " + mName);
        if (mSwitch) {
            std::vector<std::string>& log = mLog;
            ChangeState(new ProbeState(log, "third", false));
            log.push_back("switched");
        }
    }

private:
    std::vector<std::string>& mLog;
    std::string mName;
    bool mSwitch;
};

class ChangedRecorder {
public:
    explicit ChangedRecorder(std::vector<std::string>& log) : mLog(log) {}
    void OnChanged(ISession*, ISessionState* state) {
        mLog.push_back("changed " + (state ? state->GetDescription(false) : std::string("none")));
    }

private:
    std::vector<std::string>& mLog;
};

using SessionTest = TwoPeers;

// A state that switches again from OnStarted: StateChanged once, for the third state; the
// second is deleted after the third started.
TEST_F(SessionTest, StateThatSwitchesFromOnStarted) {
    SkypeApplication control(&alice->client, "corvane.probe");
    SkypeApplication screen(&alice->client, "corvane.probe.screen");
    std::vector<std::string> log;
    ChangedRecorder recorder(log);
    {
        Session session(&control, &screen, "nobody", &alice->client, false, &alice->config);
        session.SetGui(boost::shared_ptr<ISessionGui>(new ScriptedSessionGui(&session, nullptr)));
        session.StateChanged.Add(MakeDelegate<&ChangedRecorder::OnChanged>(&recorder));
        session.Initialize(new ProbeState(log, "first", false));
        session.ChangeState(new ProbeState(log, "second", true));
        EXPECT_EQ(session.GetCurrentState().GetDescription(false), "third");
        EXPECT_FALSE(session.SendNetworkMessage(DiscoveryNetMsg()));  // no channel yet
        std::vector<SessionProperty> lines;
        session.GetStatusProperties(lines);
        EXPECT_EQ(lines.size(), 4u);  // no "Bandwidth" lines before the channels are up
    }
    EXPECT_EQ(log, (std::vector<std::string>{"started first", "changed first", "started second",
                                             "started third", "changed third", "deleted second", "switched",
                                             "deleted first", "changed none", "deleted third"}));
}

// Connecting, there is nothing for the user to start or show.
TEST_F(SessionTest, ConnectingOffersNoOperations) {
    SkypeApplication control(&alice->client, "corvane.probe");
    SkypeApplication screen(&alice->client, "corvane.probe.screen");
    Session session(&control, &screen, "nobody", &alice->client, false, &alice->config);
    session.SetGui(boost::shared_ptr<ISessionGui>(new ScriptedSessionGui(&session, nullptr)));
    session.Initialize(nullptr);
    std::vector<ISessionState::AvailableOperation> operations;
    session.GetCurrentState().GetAvailableOperations(operations);
    EXPECT_TRUE(operations.empty());
}

// StopDisplaying(false) from another thread: at the next idle tick the abort goes out and the
// note is shown, without a state change; the peer in AvailableState ignores the abort.
TEST_F(SessionTest, StopWithoutReturningStaysInTheState) {
    Session* session = alice->ContactSession();
    WorkerThread([session] { session->StopDisplaying(false); }).Join();
    ASSERT_TRUE(alice->Expect("hide-remote")) << alice->Pending();
    ASSERT_TRUE(alice->Expect("\"Session was stopped.\" red []")) << alice->Pending();
    EXPECT_FALSE(alice->Expect("state ", 300)) << alice->Pending();
    EXPECT_FALSE(bob->Expect("state ", 10)) << bob->Pending();
}

TEST(SessionConstruction, NeedsBothApplications) {
    EXPECT_EQ(
        ErrorText<SkypeError>([] { Session session(nullptr, nullptr, "bob", nullptr, false, nullptr); }),
        "SkypeApplication not initialized for Session");
}

}  // namespace
}  // namespace session_test
