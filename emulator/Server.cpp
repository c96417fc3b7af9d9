#include "emulator/Server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <httplib.h>
#include <netinet/in.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>

#include "emulator/Encoding.h"
#include "host/HbDebug.h"

namespace gcemu {
namespace {

// A thread per connection. Each thread remembers its connection's socket once a request has shown it,
// as a duplicate descriptor (so the number cannot pass to another socket meanwhile), so that stopping
// can end connections that idle in keep-alive instead of waiting for their timeout.
class ConnectionThreads : public httplib::TaskQueue {
public:
    void enqueue(std::function<void()> task) override {
        auto slot = std::make_shared<Slot>();
        slot->owner = this;
        std::unique_lock<std::mutex> lock(m_mutex);
        Reap();
        try {
            slot->thread = std::thread([slot, task] {
                t_slot = slot.get();
                task();
                t_slot = nullptr;
                slot->owner->Finished(*slot);
            });
        } catch (const std::system_error& error) {
            // Out of threads: serve this connection on the accepting thread rather than drop it.
            lock.unlock();
            HbDebug().Error(__PRETTY_FUNCTION__, "gcemu: no thread for a connection: %s", error.what());
            task();
            return;
        }
        m_slots.push_back(std::move(slot));
    }

    void shutdown() override {
        std::list<std::shared_ptr<Slot>> slots;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopping = true;
            for (const auto& slot : m_slots) {
                if (slot->fd >= 0) ::shutdown(slot->fd, SHUT_RDWR);
            }
            slots.swap(m_slots);
        }
        for (const auto& slot : slots) slot->thread.join();
    }

    // Called on a connection's thread while it handles a request; true for the connection's first
    // request (and for every request of a connection served without a thread of its own).
    static bool NoteSocket(int fd) {
        Slot* slot = t_slot;
        if (!slot) return true;
        std::lock_guard<std::mutex> lock(slot->owner->m_mutex);
        const bool first = !slot->seen;
        slot->seen = true;
        if (fd < 0 || slot->fd >= 0) return first;
        slot->fd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
        if (slot->fd >= 0 && slot->owner->m_stopping) ::shutdown(slot->fd, SHUT_RDWR);
        return first;
    }

private:
    struct Slot {
        ConnectionThreads* owner = nullptr;
        std::thread thread;
        int fd = -1;
        bool seen = false;  // a request came on the connection
        bool done = false;
    };

    void Finished(Slot& slot) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (slot.fd >= 0) ::close(slot.fd);
        slot.fd = -1;
        slot.done = true;
    }

    // Joins the threads whose connection has ended.
    void Reap() {
        for (auto slot = m_slots.begin(); slot != m_slots.end();) {
            if ((*slot)->done) {
                (*slot)->thread.join();
                slot = m_slots.erase(slot);
            } else {
                ++slot;
            }
        }
    }

    static thread_local Slot* t_slot;
    std::mutex m_mutex;
    std::list<std::shared_ptr<Slot>> m_slots;
    bool m_stopping = false;
};

thread_local ConnectionThreads::Slot* ConnectionThreads::t_slot = nullptr;

// httplib listens with a backlog of 5: a few clients connecting at once would see SYNs dropped and
// wait a second for the retry. Listening again on the bound socket raises the backlog.
class ListeningServer : public httplib::SSLServer {
public:
    using httplib::SSLServer::SSLServer;
    void WidenBacklog() {
        if (svr_sock_ != INVALID_SOCKET) ::listen(svr_sock_, SOMAXCONN);
    }
};

std::string HostWithoutPort(std::string host) {
    if (!host.empty() && host[0] == '[') {  // [::1]:443
        const size_t close = host.find(']');
        if (close != std::string::npos) host.resize(close + 1);
    } else {
        const size_t colon = host.rfind(':');
        if (colon != std::string::npos) host.resize(colon);
    }
    return ToLower(host);
}

// SO_REUSEADDR lets a new emulator take a port whose old connections linger in TIME_WAIT. httplib's
// default also sets SO_REUSEPORT, which would let a second emulator share a port in use, and its clients
// meet the other one's certificate.
void ExclusivePortOptions(socket_t sock) {
    const int yes = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
}

// Why 127.0.0.1:port cannot be bound: httplib keeps the error to itself, so bind a socket of our own with
// the same options and read its errno.
std::string BindFailure(int port) {
    const int sock = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (sock < 0) return std::strerror(errno);
    ExclusivePortOptions(sock);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool bound = ::bind(sock, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    const int error = errno;
    ::close(sock);
    if (bound) return "the port could not be bound";
    if (error == EADDRINUSE) return "the port is in use";
    if (error == EACCES) return "permission denied (ports below 1024 need privileges)";
    return std::strerror(error);
}

// A request with neither Content-Length nor Transfer-Encoding has no body (RFC 9112, section 6.3), but
// httplib would wait for the client to close the connection and then answer 400. False when the body
// could not be read.
bool ReadBody(const httplib::Request& in, const httplib::ContentReader& read, std::string& body) {
    if (!in.has_header("Content-Length") && !in.has_header("Transfer-Encoding")) return true;
    // httplib parses multipart bodies itself; gcemu takes no multipart uploads, so they are read and left.
    if (in.is_multipart_form_data())
        return read([](const httplib::MultipartFormData&) { return true; },
                    [](const char*, size_t) { return true; });
    return read([&body](const char* data, size_t length) {
        body.append(data, length);
        return true;
    });
}

// The name the client asked for in its TLS handshake, which picked the certificate; the Host header for
// a client that sent none.
std::string ConnectionHost(const SSL* ssl, const std::string& host) {
    const char* name = ssl ? SSL_get_servername(ssl, TLSEXT_NAMETYPE_host_name) : nullptr;
    return name && *name ? ToLower(name) : host;
}

Request ToRequest(const httplib::Request& in, std::string body) {
    Request request;
    request.method = in.method;
    request.host = HostWithoutPort(in.get_header_value("Host"));
    // The target as sent: httplib's path is already decoded, which would merge "%2F" into the path.
    const std::string& target = in.target.empty() ? in.path : in.target;
    const size_t question = target.find('?');
    request.path = target.substr(0, question);
    if (question != std::string::npos) request.rawQuery = target.substr(question + 1);
    request.query = ParseQuery(request.rawQuery);
    request.body = std::move(body);
    for (const auto& [name, value] : in.headers) request.headers.emplace(ToLower(name), value);
    return request;
}

}  // namespace

Server::Server(const KeyedCertificate& certificate, Dispatcher& dispatcher, ConnectionCounts& connections)
    : m_dispatcher(dispatcher),
      m_connections(connections),
      m_server(std::make_unique<ListeningServer>(certificate.certificate(), certificate.key())) {
    if (!m_server->is_valid()) throw std::runtime_error("the TLS server could not take the certificate");
    auto serve = [this](const httplib::Request& in, std::string body, httplib::Response& out) {
        Request request = ToRequest(in, std::move(body));
        const int fd = in.ssl ? SSL_get_fd(in.ssl) : -1;
        if (ConnectionThreads::NoteSocket(fd)) m_connections.Add(ConnectionHost(in.ssl, request.host));
        Response response;
        if (m_dispatcher.Dispatch(request, response) == Outcome::kDropConnection) {
            // No answer at all: the client sees the connection end.
            if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
            return;
        }
        out.status = response.status;
        for (const auto& [name, value] : response.headers) out.set_header(name, value);
        if (response.declaredLength > response.body.size()) {
            // httplib announces the length given and ends the connection when the provider gives up.
            auto body = std::make_shared<std::string>(std::move(response.body));
            out.set_content_provider(response.declaredLength, response.contentType,
                                     [body](size_t offset, size_t, httplib::DataSink& sink) {
                                         if (offset >= body->size()) return false;
                                         return sink.write(body->data() + offset, body->size() - offset);
                                     });
            return;
        }
        out.set_content(response.body, response.contentType.c_str());
    };
    auto withoutBody = [serve](const httplib::Request& in, httplib::Response& out) { serve(in, "", out); };
    auto withBody = [serve](const httplib::Request& in, httplib::Response& out,
                            const httplib::ContentReader& read) {
        std::string body;
        if (!ReadBody(in, read, body)) {
            if (out.status < 400) out.status = 400;
            return;
        }
        serve(in, std::move(body), out);
    };
    // "." would not match a path with a line break in it.
    const std::string any = "[\\s\\S]*";
    m_server->Get(any, withoutBody);
    m_server->Post(any, withBody);
    m_server->Put(any, withBody);
    m_server->Patch(any, withBody);
    m_server->Delete(any, withBody);
    m_server->set_keep_alive_max_count(1000000);
    m_server->set_keep_alive_timeout(30);
    m_server->set_tcp_nodelay(true);
    m_server->set_socket_options(ExclusivePortOptions);
    m_server->new_task_queue = [] { return new ConnectionThreads(); };
}

Server::~Server() {
    Stop();
}

int Server::Start(int port) {
    if (m_running) return m_port;
    if (port == 0) {
        m_port = m_server->bind_to_any_port("127.0.0.1");
        if (m_port <= 0) throw std::runtime_error("cannot listen on an ephemeral port of 127.0.0.1");
    } else {
        if (!m_server->bind_to_port("127.0.0.1", port))
            throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port) + ": " +
                                     BindFailure(port));
        m_port = port;
    }
    static_cast<ListeningServer*>(m_server.get())->WidenBacklog();
    m_listener = std::thread([this] {
        // A client that hangs up while we write must not kill the process with SIGPIPE; connection
        // threads start from this one and inherit the mask.
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
        m_server->listen_after_bind();
    });
    // stop() does nothing until the server runs, so Stop must not come before that.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!m_server->is_running() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    m_running = true;
    HbDebug().DebugLvl(__PRETTY_FUNCTION__, 1, "gcemu: listening on 127.0.0.1:%d", m_port);
    return m_port;
}

void Server::Stop() {
    if (!m_running) return;
    m_server->stop();
    m_listener.join();
    m_running = false;
}

}  // namespace gcemu
