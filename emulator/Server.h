// The HTTPS endpoint: cpp-httplib's SSLServer on 127.0.0.1, a thread per connection (clients keep
// connections alive, and a pool would make the next client wait), every request handed to the
// dispatcher as a gcemu::Request.
#pragma once

#include <atomic>
#include <memory>
#include <thread>

#include "emulator/CertificateAuthority.h"
#include "emulator/ConnectionCounts.h"
#include "emulator/Dispatcher.h"

namespace httplib {
class SSLServer;
}

namespace gcemu {

class Server {
public:
    // Every connection accepted is counted in connections, under the host it was opened for.
    Server(const KeyedCertificate& certificate, Dispatcher& dispatcher, ConnectionCounts& connections);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Listens on 127.0.0.1:port (0: an ephemeral port) and returns the port. Throws std::runtime_error.
    int Start(int port);
    // Closes the listening socket and every open connection, and waits for the threads. Idempotent.
    void Stop();
    int port() const { return m_port; }

private:
    Dispatcher& m_dispatcher;
    ConnectionCounts& m_connections;
    std::unique_ptr<httplib::SSLServer> m_server;
    std::thread m_listener;
    int m_port = 0;
    bool m_running = false;
};

}  // namespace gcemu
