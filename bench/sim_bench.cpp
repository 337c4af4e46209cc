// Simulator throughput: short requests while eight synccheck long polls are held.
#include <benchmark/benchmark.h>
#include <httplib.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "sim/Simulator.h"

namespace {

std::string Workdir() {
    const auto dir = std::filesystem::temp_directory_path() / "zelmo-sim-bench";
    std::filesystem::create_directories(dir);
    return dir.string();
}

std::unique_ptr<httplib::SSLClient> Client(const sim::Simulator& simulator,
                                           const std::string& host) {
    auto client = std::make_unique<httplib::SSLClient>(host, simulator.Port());
    client->set_hostname_addr_map({{host, "127.0.0.1"}});
    client->set_ca_cert_path(simulator.CaFile());
    client->enable_server_certificate_verification(true);
    client->set_keep_alive(true);
    client->set_read_timeout(std::chrono::seconds(60));
    return client;
}

void ShortRequestsBesideLongPolls(benchmark::State& state) {
    sim::SimulatorOptions options;
    options.workdir = Workdir();
    options.login_poll_hold_ms = 20000;
    sim::Simulator simulator(options);
    if (!simulator.Start()) {
        state.SkipWithError("simulator did not start");
        return;
    }
    const std::string login = simulator.HostFor("login");
    Client(simulator, login)->Get("/jslogin?appid=wx782c26e4c19acffb");
    const std::string poll =
        "/cgi-bin/mmwebwx-bin/login?uuid=" + simulator.CurrentUuid() + "&tip=0";
    std::vector<std::thread> holders;
    holders.reserve(8);
    for (int i = 0; i < 8; ++i) {
        holders.emplace_back([&] { Client(simulator, login)->Get(poll); });
    }
    simulator.WaitForRequests("/login", 8, std::chrono::seconds(10));
    auto client = Client(simulator, login);
    for (auto _ : state) {
        auto result = client->Get("/jslogin?appid=wx782c26e4c19acffb");
        benchmark::DoNotOptimize(result);
        if (!result || result->status != 200) {
            state.SkipWithError("short request failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
    simulator.Stop();
    for (std::thread& holder : holders) {
        holder.join();
    }
}
BENCHMARK(ShortRequestsBesideLongPolls)->UseRealTime()->MinTime(2.0);

void GetContactTenThousand(benchmark::State& state) {
    sim::SimulatorOptions options;
    options.workdir = Workdir();
    options.scenario_json = R"({"generate_friends": 10000})";
    sim::Simulator simulator(options);
    if (!simulator.Start()) {
        state.SkipWithError("simulator did not start");
        return;
    }
    Client(simulator, simulator.HostFor("login"))->Get("/jslogin?appid=wx782c26e4c19acffb");
    simulator.Confirm();
    const auto answer = Client(simulator, simulator.HostFor("login"))
                            ->Get("/cgi-bin/mmwebwx-bin/login?uuid=" + simulator.CurrentUuid());
    const std::string& text = answer->body;
    const std::size_t start = text.find("/cgi-bin");
    auto web = Client(simulator, simulator.HostFor("web"));
    const auto redirect = web->Get(text.substr(start, text.rfind('"') - start) + "&fun=new");
    std::string cookie;
    for (const auto& [key, value] : redirect->headers) {
        if (key == "Set-Cookie") {
            cookie += (cookie.empty() ? "" : "; ") + value.substr(0, value.find(';'));
        }
    }
    // httplib hands cookie values over decoded; the data ticket has no escapes.
    const sim::SessionInfo session = simulator.Session();
    const std::string path = "/cgi-bin/mmwebwx-bin/webwxgetcontact?skey=%40" +
                             session.skey.substr(1) + "&pass_ticket=" + session.pass_ticket;
    const httplib::Headers headers = {{"Cookie", cookie}, {"Accept-Encoding", "gzip"}};
    web->set_decompress(false);
    std::size_t bytes = 0;
    for (auto _ : state) {
        auto result = web->Post(path, headers, "{}", "application/x-www-form-urlencoded");
        if (!result || result->body.size() < 1000) {
            state.SkipWithError("getcontact failed");
            break;
        }
        bytes += result->body.size();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(GetContactTenThousand)->UseRealTime();

}  // namespace
