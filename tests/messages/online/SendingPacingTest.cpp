#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <latch>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/JobDispatch.h"
#include "app/Robot.h"
#include "jobs/JobQueue.h"
#include "messages/MessageJobs.h"
#include "messages/Sending.h"
#include "protocol/LoginFlow.h"
#include "sim/Simulator.h"
#include "support/FakeClock.h"
#include "support/StubScreen.h"
#include "support/TestSupport.h"

namespace zelmo::test {
namespace {

// The fake clock as the robot sees it, noting the fake time of every wall-clock read:
// each send reads it when it fills its request, so the notes are the sends' start times.
class NotingClock final : public platform::Clock {
public:
    explicit NotingClock(FakeClock& fake) : m_fake(fake) {}

    std::int64_t UnixMs() const override {
        {
            std::lock_guard lock(m_mutex);
            m_reads.push_back(m_fake.TickMs());
        }
        m_changed.notify_all();
        return m_fake.UnixMs();
    }
    std::int64_t TickMs() const override { return m_fake.TickMs(); }
    int Random(int low, int high) override { return m_fake.Random(low, high); }

    std::vector<std::int64_t> Reads() const {
        std::lock_guard lock(m_mutex);
        return m_reads;
    }
    // True when more than `count` reads happened before the time-out.
    bool WaitForMoreReadsThan(std::size_t count, std::chrono::milliseconds timeout) const {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return m_reads.size() > count; });
    }

private:
    FakeClock& m_fake;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    mutable std::vector<std::int64_t> m_reads;
};

TEST(SendingPacingTest, TwoSendsReadyAtOnceStartAtLeastThePauseApartWhateverTheirPath) {
    TempDir dir;
    sim::SimulatorOptions sim_options;
    sim_options.workdir = dir.Path() + "/sim";
    sim::Simulator simulator(sim_options);
    ASSERT_TRUE(simulator.Start());

    FakeClock fake;
    NotingClock clock(fake);
    StubScreen screen;
    // The pause passes on the fake clock. Before it does, it gives the other sender every
    // chance to start: a send that did not hold the lock through the pause would start
    // now, at the same fake time as this one.
    screen.SetDelayHandler([&](int ms) {
        clock.WaitForMoreReadsThan(clock.Reads().size(), std::chrono::milliseconds(300));
        fake.Advance(ms);
    });
    app::RunOptions run;
    run.service_file = simulator.ProfilePath();
    app::Robot robot(run, clock, screen);
    // Logged in, so the sends are taken and none becomes a log row (which reads the clock).
    const protocol::ServiceLink link = robot.Link();
    protocol::ProtocolState state;
    protocol::Session& session = state.session;
    protocol::FetchQrCode(link, session);
    simulator.Scan();
    ASSERT_EQ(protocol::PollLogin(link, session).code, "201");
    simulator.Confirm();
    const protocol::PollAnswer confirmed = protocol::PollLogin(link, session);
    ASSERT_EQ(confirmed.code, "200");
    ASSERT_TRUE(protocol::CompleteLogin(link, confirmed.answer, session));
    ASSERT_TRUE(protocol::InitSession(link, state));
    robot.Sessions().Publish(std::move(state));
    const std::size_t login_reads = clock.Reads().size();
    ASSERT_TRUE(robot.StartThread([&robot] { app::SenderThread(robot); }));
    const std::string alice = simulator.UserNameOf("alice");
    const std::string bob = simulator.UserNameOf("bob");

    std::latch ready(2);
    // A reply runs as a queue job, which hands it to the sender; the mass sender waits in
    // SendText for its own send.
    std::thread job([&] {
        ready.arrive_and_wait();
        app::RunJob(robot, jobs::Job{messages::JOB_SEND_TEXT, {alice, "from the queue"}});
    });
    std::thread mass([&] {
        ready.arrive_and_wait();
        EXPECT_EQ(robot.Sender().SendText(bob, "from the mass sender"), "0");
    });
    job.join();
    mass.join();
    // Whichever came second: once its pause began, joining the sender lets it end.
    ASSERT_TRUE(screen.WaitForCall("Delay", std::chrono::seconds(10), 2));
    robot.Shutdown();

    // Each send reads the clock twice (its ids and its URL), both at its start.
    const std::vector<std::int64_t> all_reads = clock.Reads();
    const std::vector<std::int64_t> reads(all_reads.begin() + static_cast<long>(login_reads),
                                          all_reads.end());
    ASSERT_EQ(reads.size(), 4u);
    EXPECT_EQ(reads[0], reads[1]);
    EXPECT_EQ(reads[2], reads[3]);
    EXPECT_GE(reads[2] - reads[0], messages::SEND_PAUSE_MS);
    EXPECT_EQ(fake.TickMs(), 2 * messages::SEND_PAUSE_MS);
    EXPECT_EQ(screen.CountOf("Delay"), 2u);

    const std::size_t posted = simulator.CountRequests("webwxsendmsg");
    EXPECT_EQ(posted, 2u);
    EXPECT_EQ(simulator.SentMessages().size(), 2u);
    EXPECT_TRUE(simulator.Violations().empty());
}

}  // namespace
}  // namespace zelmo::test
