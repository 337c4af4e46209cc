// The limits that keep peers from holding the robot: connections in all, a peer that reads
// too slowly, messages and bodies over the size.
#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "platform/WireService.h"
#include "support/WsPeer.h"

namespace zelmo::test {
namespace {

constexpr auto WAIT = std::chrono::seconds(15);

// Admits everything, echoes frames, and notes what happened.
class EchoHandler final : public platform::WireHandler {
public:
    int Admit(const platform::WireRequestHead&) override { return 0; }
    void OnHttp(platform::WireHttpRequest request, platform::WireReplier reply) override {
        reply({200, "text/plain", request.too_large ? "too large" : request.body});
    }
    std::string OnOpen(platform::WireConnectionId id, bool) override {
        std::lock_guard lock(m_mutex);
        m_last = id;
        return "hello";
    }
    void OnFrame(platform::WireConnectionId id, std::string text, bool) override {
        wire->Send(id, std::move(text));
    }
    void OnClose(platform::WireConnectionId, std::string_view reason) override {
        std::lock_guard lock(m_mutex);
        m_closed.emplace_back(reason);
        m_changed.notify_all();
    }
    bool WaitClosed(std::string_view reason) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, WAIT, [&] {
            return std::find(m_closed.begin(), m_closed.end(), reason) != m_closed.end();
        });
    }
    platform::WireConnectionId Last() {
        std::lock_guard lock(m_mutex);
        return m_last;
    }

    platform::WireService* wire = nullptr;

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_closed;
    platform::WireConnectionId m_last = 0;
};

struct Rig {
    explicit Rig(platform::WireLimits limits) : wire(handler, limits) {
        handler.wire = &wire;
        port = wire.Listen("127.0.0.1", "0", true, true);
    }
    EchoHandler handler;
    platform::WireService wire;
    int port = 0;
};

TEST(WireServiceTest, RefusesConnectionsBeyondTheLimitAndTakesNewOnesOnceOneCloses) {
    platform::WireLimits limits;
    limits.max_connections = 2;
    Rig rig(limits);
    ASSERT_NE(rig.port, 0);
    WsPeer first;
    WsPeer second;
    WsPeer third;
    ASSERT_EQ(first.Connect(rig.port, "/"), "");
    ASSERT_EQ(second.Connect(rig.port, "/"), "");
    EXPECT_NE(third.Connect(rig.port, "/"), "");
    first.Close();
    ASSERT_TRUE(rig.handler.WaitClosed("closed by the peer"));
    EXPECT_EQ(third.Connect(rig.port, "/"), "");
    EXPECT_EQ(third.Receive(WAIT), "hello");
    EXPECT_EQ(second.Receive(WAIT), "hello");
    EXPECT_EQ(rig.wire.OpenConnections(), 2U);
}

TEST(WireServiceTest, APeerThatDoesNotReadIsDroppedAndOthersStillGetTheirFrames) {
    platform::WireLimits limits;
    limits.max_queued_frames = 8;
    Rig rig(limits);
    WsPeer slow;
    WsPeer quick;
    ASSERT_EQ(slow.Connect(rig.port, "/"), "");
    ASSERT_EQ(quick.Connect(rig.port, "/"), "");
    ASSERT_EQ(quick.Receive(WAIT), "hello");
    // The slow peer never reads: its socket buffers fill, then its queue, and it goes.
    const std::string frame(256 * 1024, 'x');
    for (int i = 0; i < 400 && rig.wire.OpenConnections() == 2; ++i) {
        rig.wire.Broadcast(frame);
        ASSERT_TRUE(quick.Receive(WAIT));
    }
    EXPECT_TRUE(rig.handler.WaitClosed("send queue full"));
    EXPECT_TRUE(quick.SendText("still here"));
    std::optional<std::string> echoed;
    while ((echoed = quick.Receive(WAIT)) && *echoed != "still here") {
    }
    EXPECT_EQ(echoed, "still here");
}

TEST(WireServiceTest, MessagesAndBodiesOverTheLimitAreRefused) {
    platform::WireLimits limits;
    limits.max_body_bytes = 1024;
    Rig rig(limits);
    WsPeer peer;
    ASSERT_EQ(peer.Connect(rig.port, "/"), "");
    ASSERT_EQ(peer.Receive(WAIT), "hello");
    ASSERT_TRUE(peer.SendText(std::string(1000, 'a')));
    EXPECT_EQ(peer.Receive(WAIT), std::string(1000, 'a'));
    peer.SendText(std::string(2000, 'b'));
    int code = 0;
    EXPECT_TRUE(peer.WaitClosed(WAIT, &code));
    EXPECT_EQ(code, 1009);  // message too big

    httplib::Client http("127.0.0.1", rig.port);
    auto post = [&](const std::string& body) {
        const httplib::Result result = http.Post("/", body, "text/plain");
        return result ? result->body : "no answer: " + httplib::to_string(result.error());
    };
    EXPECT_EQ(post(std::string(1000, 'c')), std::string(1000, 'c'));
    EXPECT_EQ(post(std::string(5000, 'd')), "too large");
}

}  // namespace
}  // namespace zelmo::test
