// A small HTTPS server for the host HTTP client's tests: an ephemeral port of 127.0.0.1, answers chosen
// by path (/missing, /empty, /redirect, /huge, /huge-chunked, /big, /stall, anything else), every request kept.
#pragma once

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "emulator/CertificateAuthority.h"

namespace testsupport {

using namespace std::chrono_literals;

struct Seen {
    std::string method;
    std::string path;
    std::string body;
    httplib::Headers headers;
    int remotePort = 0;
};

// An HTTPS server on an ephemeral port of 127.0.0.1 answering by path.
class TlsServer {
public:
    explicit TlsServer(const gcemu::KeyedCertificate& certificate)
        : m_server(certificate.certificate(), certificate.key()) {
        auto handler = [this](const httplib::Request& request, httplib::Response& response) {
            Handle(request, response);
        };
        m_server.Get(".*", handler);
        m_server.Post(".*", handler);
        m_server.Put(".*", handler);
        m_server.Patch(".*", handler);
        m_server.Delete(".*", handler);
        m_server.set_tcp_nodelay(true);
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        for (int i = 0; i < 2000 && !m_server.is_running(); ++i) std::this_thread::sleep_for(1ms);
    }

    ~TlsServer() {
        ReleaseStall();
        m_server.stop();
        m_thread.join();
    }

    int port() const { return m_port; }

    std::vector<Seen> Requests() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_seen;
    }

    void ReleaseStall() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_released = true;
        m_wake.notify_all();
    }

    static std::string BigJson() {
        std::string json = "{\"items\":[";
        for (int i = 0; i < 3000; ++i)
            json += (i ? "," : "") + std::string("{\"name\":\"disk-") + std::to_string(i) + "\"}";
        return json + "]}";
    }

private:
    void Handle(const httplib::Request& request, httplib::Response& response) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_seen.push_back({request.method, request.path, request.body, request.headers, request.remote_port});
        const std::string& path = request.path;
        if (path.find("/missing") != std::string::npos) {
            response.status = 404;
            response.set_content(R"({"error":{"code":404,"message":"not found"}})", "application/json");
        } else if (path.find("/empty") != std::string::npos) {
            response.status = 204;
        } else if (path.find("/redirect") != std::string::npos) {
            response.status = 302;
            response.set_header("Location", "https://compute.googleapis.com/elsewhere");
        } else if (path.find("/huge-chunked") != std::string::npos) {
            // No length announced: the client finds out only as the body comes.
            response.set_chunked_content_provider("application/json", [](size_t, httplib::DataSink& sink) {
                const std::string block(64 * 1024, 'x');
                for (int i = 0; i < 24; ++i)
                    if (!sink.write(block.data(), block.size())) return false;
                sink.done();
                return true;
            });
        } else if (path.find("/huge") != std::string::npos) {
            response.set_content(std::string(1536 * 1024, 'x'), "text/plain");
        } else if (path.find("/big") != std::string::npos) {
            response.set_content(BigJson(), "application/json");
        } else if (path.find("/stall") != std::string::npos) {
            m_wake.wait_for(lock, 3s, [this] { return m_released; });
            response.set_content("late", "text/plain");
        } else {
            response.set_header("X-Request-Method", request.method);
            response.set_content(R"({"kind":"compute#operation"})", "application/json");
        }
    }

    httplib::SSLServer m_server;
    int m_port = 0;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_released = false;
    std::vector<Seen> m_seen;
};

}  // namespace testsupport
