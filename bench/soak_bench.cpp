// A soak of the online robot: 20,000 messages at 100 a second from two friends, every tenth
// a learning command that a reply is due for. The simulator runs as its own process, so the
// resident memory read is the robot's alone. Counters (goal in brackets):
//   unhandled         messages that never got their log row (0)
//   handled_twice     messages that got it more than once (0)
//   replies_lost      replies due that were neither sent nor logged as not sent (0)
//   replies_repeated  replies sent more than once (0)
//   replies_unsent    replies logged as not sent (expired or refused)
//   repeated_ids      ClientMsgIds (or LocalIDs) sent twice, and the simulator's violations (0)
//   max_wait_ms       longest wait from a message's arrival at the robot (the first
//                     webwxsync answer that held it) to its handling (its log row) (< 1000)
//   max_queued_wait_ms  the same from the moment the simulator queued it
//   rss_growth_MB_per_10k  resident memory growth from message 2,000 to the end (< 2); the
//                     same over the second half, once the memory of handled ids is full
// ZELMO_SOAK_PAUSE_SCALE (default 0.1) scales every pause of the robot: at the real 500 ms
// send pace the robot sends two texts a second, fewer than the ten replies a second due
// here, and the late ones are dropped with a log row once they waited 回复过期秒数.
// Among the texts, one of the friends sends pictures (ZELMO_SOAK_PICTURES_PER_MINUTE, default 100;
// 0 for none), which the robot downloads as it runs:
//   pictures_saved, pictures_not_saved  their outcomes (all saved)
// ZELMO_SOAK_COUNT changes the number of messages. The archive is on, as by default
// (archived_rows counts what it holds at the end); ZELMO_SOAK_ARCHIVE=0 turns it off, to
// compare the waits. The process keeps one malloc arena, as
// zelmo-headless does.
#include <benchmark/benchmark.h>
#include <httplib.h>
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "QuietScreen.h"
#include "app/LoginDriver.h"
#include "app/Robot.h"
#include "config/Settings.h"
#include "platform/Clock.h"
#include "platform/GbkLiteral.h"
#include "store/ArchiveReader.h"
#include "support/ChildProcess.h"
#include "support/TestSupport.h"

namespace {

using namespace std::chrono_literals;
namespace app = zelmo::app;
namespace fs = std::filesystem;
using Json = nlohmann::json;
using zelmo::platform::Gbk;

constexpr std::size_t DEFAULT_COUNT = 20000;
constexpr double PER_SECOND = 100;
constexpr std::size_t EVERY = 10;
constexpr std::size_t WARM_UP = 2000;
constexpr double DEFAULT_PAUSE_SCALE = 0.1;
constexpr double DEFAULT_PICTURES_PER_MINUTE = 100;
// Time to finish after the last message was queued: the replies left and the log rows.
constexpr auto DRAIN = 120s;

fs::path BuildDir() {
    return fs::read_symlink("/proc/self/exe").parent_path().parent_path();
}

double ResidentMb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmRSS:")) {
            return std::stod(line.substr(6)) / 1024.0;
        }
    }
    return -1;
}

double EnvNumber(const char* name, double fallback) {
    const char* text = std::getenv(name);
    return text != nullptr && std::atof(text) > 0 ? std::atof(text) : fallback;
}

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The number in "msg {n}", "问：q{n}答：a{n}" or a reply "…对我说q{n}试试吧！" (GBK or UTF-8):
// the digits after the first "q", or after "msg ". 0 when there is none.
std::size_t NumberIn(std::string_view text) {
    std::size_t at = text.find("msg ");
    at = at == std::string_view::npos ? text.find('q') : at + 3;
    if (at == std::string_view::npos) {
        return 0;
    }
    std::size_t n = 0;
    for (std::size_t i = at + 1; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        n = n * 10 + static_cast<std::size_t>(text[i] - '0');
    }
    return n;
}

// The robot's screen: pauses scaled, and when each message got its log row (the robot
// handled it) kept in arrays made before the run, so they add nothing to the memory read.
class SoakScreen final : public zelmo::bench::QuietScreen {
public:
    SoakScreen(std::size_t count, double pause_scale)
        : m_handled(count + 1),
          m_times_handled(count + 1),
          m_unsent(count + 1),
          m_pause_scale(pause_scale),
          m_incoming(Gbk("[↓]好友")),
          m_not_sent(Gbk("[↑]未发送")),
          m_not_saved(Gbk("[↓]未保存")) {}

    void AddLogRow(std::string_view label, std::string_view, std::string_view, std::string_view,
                   std::string_view content) override {
        if (label == m_not_saved) {
            m_not_saved_count.fetch_add(1);
            return;
        }
        const std::size_t n = NumberIn(content);
        if (n == 0 || n >= m_handled.size()) {
            return;
        }
        if (label == m_incoming) {
            std::int64_t none = 0;
            m_handled[n].compare_exchange_strong(none, NowMs());
            if (m_times_handled[n].fetch_add(1) == 0) {
                m_handled_count.fetch_add(1);
            }
        } else if (label == m_not_sent) {
            m_unsent[n].store(true);
        }
    }
    void LogRowFile(std::string_view, std::string_view) override { m_saved_count.fetch_add(1); }
    void Delay(int ms) override { QuietScreen::Delay(static_cast<int>(ms * m_pause_scale)); }

    std::size_t SavedCount() const { return m_saved_count.load(); }
    std::size_t NotSavedCount() const { return m_not_saved_count.load(); }

    std::size_t HandledCount() const { return m_handled_count.load(); }
    std::int64_t HandledAt(std::size_t n) const { return m_handled[n].load(); }
    int TimesHandled(std::size_t n) const { return m_times_handled[n].load(); }
    bool Unsent(std::size_t n) const { return m_unsent[n].load(); }

private:
    std::vector<std::atomic<std::int64_t>> m_handled;
    std::vector<std::atomic<int>> m_times_handled;
    std::vector<std::atomic<bool>> m_unsent;
    std::atomic<std::size_t> m_handled_count{0};
    std::atomic<std::size_t> m_saved_count{0};
    std::atomic<std::size_t> m_not_saved_count{0};
    double m_pause_scale;
    std::string m_incoming;
    std::string m_not_sent;
    std::string m_not_saved;
};

// The simulator as a child process, with its control API.
struct Service {
    explicit Service(const std::string& workdir)
        : child({(BuildDir() / "tools/sim/zelmo-sim").string(), "--workdir", workdir,
                 "--control-port", "0", "--auto-scan-ms", "100", "--auto-confirm-ms", "100"},
                {}) {
        std::size_t next = 0;
        const auto profile_line = child.WaitForLine(&next, "profile: ", 30s);
        const auto control_line = child.WaitForLine(&next, "control: http://", 30s);
        if (!profile_line || !control_line) {
            return;
        }
        profile = profile_line->substr(profile_line->find("profile: ") + 9);
        const std::string url = control_line->substr(control_line->find("http://"));
        control = std::make_unique<httplib::Client>(url);
        control->set_read_timeout(60, 0);
    }

    Json Get(const std::string& path) const {
        const httplib::Result result = control->Get(path);
        return result && result->status == 200 ? Json::parse(result->body, nullptr, false) : Json();
    }
    bool Post(const std::string& path, const Json& body) const {
        const httplib::Result result = control->Post(path, body.dump(), "application/json");
        return result && result->status == 200;
    }

    zelmo::test::ChildProcess child;
    std::string profile;
    std::unique_ptr<httplib::Client> control;
};

void Soak(benchmark::State& state) {
    mallopt(M_ARENA_MAX, 1);
    const auto count =
        static_cast<std::size_t>(EnvNumber("ZELMO_SOAK_COUNT", static_cast<double>(DEFAULT_COUNT)));
    const double pause_scale = EnvNumber("ZELMO_SOAK_PAUSE_SCALE", DEFAULT_PAUSE_SCALE);
    const double pictures_per_minute =
        EnvNumber("ZELMO_SOAK_PICTURES_PER_MINUTE", DEFAULT_PICTURES_PER_MINUTE);
    // As many as fit into the time the texts take.
    const auto pictures = static_cast<std::size_t>(static_cast<double>(count) / PER_SECOND *
                                                   pictures_per_minute / 60.0);
    for (auto _ : state) {
        zelmo::test::TempDir dir;
        Service service(dir.Path() + "/sim");
        if (service.control == nullptr) {
            state.SkipWithError("the simulator did not start");
            return;
        }
        SoakScreen screen(count, pause_scale);
        zelmo::platform::SystemClock clock;
        app::RunOptions run;
        run.data_root = dir.Path() + "/data";
        run.service_file = service.profile;
        app::Robot robot(run, clock, screen);
        if (!app::StartLogin(robot) || !screen.WaitReady(60s)) {
            state.SkipWithError("no start-up");
            return;
        }

        // Two friends teaching ten pairs a second is what 每分钟回复上限 stops; the soak is
        // about the send path under load, so every due reply is to go out or expire.
        const char* archive = std::getenv("ZELMO_SOAK_ARCHIVE");
        const bool archive_on = archive == nullptr || std::string_view(archive) != "0";
        robot.Settings().Update([archive_on](zelmo::config::Settings& settings) {
            settings.每分钟回复上限 = "0";
            settings.启用存档 = archive_on;
        });

        const std::int64_t posted_ms = NowMs();
        Json bulk = {{"count", count},
                     {"per_second", PER_SECOND},
                     {"kind", "text"},
                     {"from", Json::array({"alice", "bob"})},
                     {"text", "msg {n}"},
                     {"every", EVERY},
                     {"every_text", "问：q{n}答：a{n}"}};
        if (!service.Post("/messages", bulk)) {
            state.SkipWithError("the simulator took no messages");
            return;
        }
        if (pictures > 0 && !service.Post("/messages", {{"count", pictures},
                                                        {"per_second", pictures_per_minute / 60},
                                                        {"kind", "picture"},
                                                        {"from", Json::array({"alice"})}})) {
            state.SkipWithError("the simulator took no pictures");
            return;
        }
        double warm_mb = -1;
        double middle_mb = -1;
        double end_mb = -1;
        const auto deadline = std::chrono::steady_clock::now() +
                              std::chrono::milliseconds(static_cast<std::int64_t>(
                                  static_cast<double>(count) * 1000.0 / PER_SECOND)) +
                              DRAIN;
        const std::size_t due = count / EVERY;
        std::size_t replies_done = 0;
        while (std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(500ms);
            if (warm_mb < 0 && screen.HandledCount() >= WARM_UP) {
                warm_mb = ResidentMb();
            }
            if (middle_mb < 0 && screen.HandledCount() >= count / 2) {
                middle_mb = ResidentMb();
            }
            if (screen.HandledCount() < count) {
                continue;
            }
            // Read before the bench itself asks for the sends.
            if (end_mb < 0) {
                end_mb = ResidentMb();
            }
            replies_done = service.Get("/sent").size();
            for (std::size_t n = EVERY; n <= count; n += EVERY) {
                replies_done += screen.Unsent(n) ? 1 : 0;
            }
            if (replies_done >= due) {
                break;
            }
        }

        while (screen.SavedCount() + screen.NotSavedCount() < pictures &&
               std::chrono::steady_clock::now() < deadline + DRAIN) {
            std::this_thread::sleep_for(100ms);
        }
        const Json delivered = service.Get("/delivered");
        const Json sent = service.Get("/sent");
        const Json violations = service.Get("/violations");
        screen.Cancel();
        robot.Shutdown();

        // The simulator's clock starts with it: its first queued message marks posted_ms.
        const Json& messages = delivered["messages"];
        const std::int64_t offset =
            messages.empty() ? 0 : posted_ms - messages[0]["queued_ms"].get<std::int64_t>();
        std::size_t unhandled = 0;
        std::size_t handled_twice = 0;
        std::int64_t max_wait = 0;
        std::int64_t max_queued_wait = 0;
        for (const Json& message : messages) {
            const std::size_t n = NumberIn(message["text"].get<std::string>());
            if (n == 0 || n > count) {
                continue;
            }
            const std::int64_t handled = screen.HandledAt(n);
            if (handled == 0) {
                ++unhandled;
                continue;
            }
            handled_twice += screen.TimesHandled(n) > 1 ? 1 : 0;
            const std::int64_t first = message["first_delivered_ms"].get<std::int64_t>();
            max_wait = std::max(max_wait, handled - (first + offset));
            max_queued_wait = std::max(
                max_queued_wait, handled - (message["queued_ms"].get<std::int64_t>() + offset));
        }
        unhandled += count - std::min(count, messages.size());

        std::vector<int> replies(count + 1, 0);
        std::set<std::string> client_ids;
        std::set<std::string> local_ids;
        std::size_t repeated_ids = violations.size();
        for (const Json& message : sent) {
            const std::size_t n = NumberIn(message["content"].get<std::string>());
            if (n > 0 && n <= count) {
                ++replies[n];
            }
            repeated_ids +=
                client_ids.insert(message["client_msg_id"].get<std::string>()).second ? 0 : 1;
            repeated_ids += local_ids.insert(message["local_id"].get<std::string>()).second ? 0 : 1;
        }
        std::size_t lost = 0;
        std::size_t repeated = 0;
        std::size_t unsent = 0;
        for (std::size_t n = EVERY; n <= count; n += EVERY) {
            unsent += screen.Unsent(n) ? 1 : 0;
            lost += replies[n] == 0 && !screen.Unsent(n) ? 1 : 0;
            repeated += replies[n] > 1 ? 1 : 0;
        }

        std::size_t archived = 0;
        std::string archive_error;
        if (std::optional<zelmo::store::ArchiveReader> reader = zelmo::store::ArchiveReader::Open(
                robot.AccountDir() + "/zelmo.db", &archive_error)) {
            reader->ForEachRow({}, [&archived](const zelmo::store::ArchiveRow&) {
                ++archived;
                return true;
            });
        }
        state.counters["archived_rows"] = static_cast<double>(archived);
        state.counters["messages"] = static_cast<double>(count);
        state.counters["pause_scale"] = pause_scale;
        state.counters["unhandled"] = static_cast<double>(unhandled);
        state.counters["handled_twice"] = static_cast<double>(handled_twice);
        state.counters["replies_due"] = static_cast<double>(due);
        state.counters["replies_sent"] = static_cast<double>(sent.size());
        state.counters["replies_lost"] = static_cast<double>(lost);
        state.counters["replies_repeated"] = static_cast<double>(repeated);
        state.counters["replies_unsent"] = static_cast<double>(unsent);
        state.counters["repeated_ids"] = static_cast<double>(repeated_ids);
        state.counters["max_wait_ms"] = static_cast<double>(max_wait);
        state.counters["pictures"] = static_cast<double>(pictures);
        state.counters["pictures_saved"] = static_cast<double>(screen.SavedCount());
        state.counters["pictures_not_saved"] = static_cast<double>(screen.NotSavedCount());
        state.counters["max_queued_wait_ms"] = static_cast<double>(max_queued_wait);
        state.counters["rss_warm_MB"] = warm_mb;
        state.counters["rss_middle_MB"] = middle_mb;
        state.counters["rss_end_MB"] = end_mb;
        // From the warm-up on, and over the second half alone (the handled-id memory full).
        state.counters["rss_growth_MB_per_10k"] =
            (end_mb - warm_mb) * 10000.0 / static_cast<double>(count - WARM_UP);
        state.counters["rss_growth_2nd_half_MB_per_10k"] =
            (end_mb - middle_mb) * 10000.0 / static_cast<double>(count - count / 2);
    }
}

BENCHMARK(Soak)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
