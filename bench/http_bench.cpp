// A small GET to a local TLS server: the per-call cost of the HTTP layer over a kept-alive
// connection (target: median below 1 ms), and for comparison over a new one.
#include <benchmark/benchmark.h>
#include <httplib.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <thread>

#include "platform/WebClient.h"
#include "sim/Certificates.h"

namespace {

class LocalServer {
public:
    LocalServer() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "zelmo-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            return;
        }
        m_dir = pattern;
        m_files = sim::MakeCertificates(m_dir, {"wx.qq.com"});
        m_server = std::make_unique<httplib::SSLServer>(m_files.server_cert.c_str(),
                                                        m_files.server_key.c_str());
        m_server->set_tcp_nodelay(true);
        m_server->set_keep_alive_max_count(1000000);
        // A small plain answer, as most of the service's are: no compression on the way.
        m_server->set_pre_routing_handler([](const httplib::Request& request, httplib::Response&) {
            const_cast<httplib::Request&>(request).headers.erase("Accept-Encoding");
            return httplib::Server::HandlerResponse::Unhandled;
        });
        m_server->Get("/ping", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("window.synccheck={retcode:\"0\",selector:\"0\"}", "text/plain");
        });
        m_port = m_server->bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server->listen_after_bind(); });
    }
    ~LocalServer() {
        if (m_server) {
            m_server->stop();
        }
        if (m_thread.joinable()) {
            m_thread.join();
        }
        std::error_code error;
        std::filesystem::remove_all(m_dir, error);
    }
    LocalServer(const LocalServer&) = delete;
    LocalServer& operator=(const LocalServer&) = delete;

    zelmo::platform::WebClientConfig Config() const {
        return {"127.0.0.1:" + std::to_string(m_port), m_files.ca_cert};
    }

private:
    std::string m_dir;
    sim::CertificateFiles m_files;
    std::unique_ptr<httplib::SSLServer> m_server;
    std::thread m_thread;
    int m_port = -1;
};

void SmallGetKeptAlive(benchmark::State& state) {
    const LocalServer server;
    const zelmo::platform::WebClient client(server.Config());
    const std::string url = "https://wx.qq.com/ping";
    if (client.Request(url).empty()) {
        state.SkipWithError("local server not reachable");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(client.Request(url));
    }
}
BENCHMARK(SmallGetKeptAlive)->Unit(benchmark::kMicrosecond)->Repetitions(5)->UseRealTime();

// A fresh client per call: TCP and TLS handshakes plus loading the trusted CAs.
void SmallGetNewConnection(benchmark::State& state) {
    const LocalServer server;
    const std::string url = "https://wx.qq.com/ping";
    for (auto _ : state) {
        const zelmo::platform::WebClient client(server.Config());
        benchmark::DoNotOptimize(client.Request(url));
    }
}
BENCHMARK(SmallGetNewConnection)->Unit(benchmark::kMicrosecond)->Repetitions(3)->UseRealTime();

}  // namespace
