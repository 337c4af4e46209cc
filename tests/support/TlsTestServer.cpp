#include "support/TlsTestServer.h"

#include "sim/Certificates.h"

namespace zelmo::test {
namespace {

// Long polls hold a worker each; the default pool of 8 would starve other requests.
constexpr std::size_t WORKER_THREADS = 40;

}  // namespace

TlsTestServer::TlsTestServer() {
    const sim::CertificateFiles files =
        sim::MakeCertificates(m_dir.Path(), {"wx.qq.com", "*.qq.com"});
    m_ca_file = files.ca_cert;
    m_cert_file = files.server_cert;
    m_key_file = files.server_key;
    m_server = std::make_unique<httplib::SSLServer>(m_cert_file.c_str(), m_key_file.c_str());
    m_server->new_task_queue = [] { return new httplib::ThreadPool(WORKER_THREADS); };
    // Without these, every fifth request pays a new handshake and small answers wait
    // for delayed ACKs: tests of connection reuse would see neither.
    m_server->set_keep_alive_max_count(100000);
    m_server->set_tcp_nodelay(true);
    // The request object is not const inside httplib; the handler type only says so.
    m_server->set_pre_routing_handler([](const httplib::Request& request, httplib::Response&) {
        const_cast<httplib::Request&>(request).headers.erase("Accept-Encoding");
        return httplib::Server::HandlerResponse::Unhandled;
    });
}

TlsTestServer::~TlsTestServer() {
    m_server->stop();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

bool TlsTestServer::Start() {
    if (m_ca_file.empty() || !m_server->is_valid()) {
        return false;
    }
    m_port = m_server->bind_to_any_port("127.0.0.1");
    if (m_port <= 0) {
        return false;
    }
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    return true;
}

std::string TlsTestServer::ConnectTo() const {
    return "127.0.0.1:" + std::to_string(m_port);
}

}  // namespace zelmo::test
