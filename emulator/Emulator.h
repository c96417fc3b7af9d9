// gcemu: a local HTTPS emulator of the Google Cloud REST APIs the library speaks. Tests start it in
// process on an ephemeral port; the gcemu program runs it standalone.
//
//   gcemu::Emulator emulator;
//   emulator.Start();
//   gcemu::ServiceAccountKey key = emulator.MakeServiceAccount("sa@gcemu-project-1.iam.gserviceaccount.com");
//   std::string settings = emulator.WriteClientSettings();  // point GCSDK_SETTINGS here
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "emulator/ApiFamily.h"
#include "emulator/CertificateAuthority.h"
#include "emulator/ClientFiles.h"
#include "emulator/ConnectionCounts.h"
#include "emulator/Dispatcher.h"

namespace gcemu {

class Server;

class Emulator {
public:
    using Options = EmulatorOptions;

    // Reads the world file (throws std::runtime_error or std::invalid_argument when it is unusable) and
    // makes the state folder; the server starts with Start().
    explicit Emulator(Options options = Options());
    ~Emulator();
    Emulator(const Emulator&) = delete;
    Emulator& operator=(const Emulator&) = delete;

    // Makes the certificate authority and the server certificate (*.googleapis.com, googleapis.com,
    // localhost, 127.0.0.1) at the first start, writes ca.pem and listens on 127.0.0.1. Throws
    // std::runtime_error when it cannot listen.
    void Start();
    // Ends stalls, closes every connection, and appends the journal to $GCEMU_JOURNAL_FILE when set.
    void Stop();
    bool IsRunning() const;

    int Port() const;
    const std::string& StateDir() const { return m_stateDir; }
    std::string CaFile() const;

    // An INI file with [GoogleCloud] sConnectTo=127.0.0.1:<port> and sCaBundle=<CaFile()>, with the extra
    // INI text merged in; written to path (default <state dir>/gcsdk.ini). Returns the path. Needs a
    // running emulator.
    std::string WriteClientSettings(const std::string& path = "", const std::string& extraIni = "");

    // A new key for the account, registered and written into the state folder as a Google JSON key and a
    // legacy PKCS#12 file (password "notasecret").
    ServiceAccountKey MakeServiceAccount(const std::string& email);
    // An account whose key was made elsewhere: its public key or certificate PEM.
    void RegisterServiceAccount(const std::string& email, const std::string& publicKeyPem);
    void RevokeAllTokens();

    Journal& journal() { return m_journal; }
    // TLS connections accepted, by the host they were opened for; kept across resets, emptied on demand.
    ConnectionCounts& connections() { return m_connections; }
    Faults& faults() { return m_faults; }
    World& world() { return m_world; }
    Accounts& accounts() { return m_accounts; }
    // Compute Engine operations: how many polls they take, and injected operation failures.
    Operations& operations() { return m_operations; }
    // Cloud Spanner's database operations and Dataflow's jobs: polls until they end, injected failures.
    SpannerOperations& spannerOperations() { return m_spannerOperations; }
    DataflowJobs& dataflowJobs() { return m_dataflowJobs; }
    const Options& options() const { return m_options; }

    // The world back to its seed, the journal, the faults and the operations and jobs emptied, operations
    // and jobs back to their default polls. Accounts and tokens stay.
    void ResetWorld();

private:
    void SeedFamilies();
    void AddConnectionRoutes();

    const Options m_options;
    World m_world;
    Operations m_operations{m_world};
    SpannerOperations m_spannerOperations{m_world, 2};
    DataflowJobs m_dataflowJobs{m_world, 2};
    Accounts m_accounts;
    Journal m_journal;
    ConnectionCounts m_connections;
    Faults m_faults;
    Router m_router;
    std::vector<std::unique_ptr<ApiFamily>> m_families;
    std::unique_ptr<EmulatorContext> m_context;
    Dispatcher m_dispatcher;
    std::string m_stateDir;
    bool m_ownsStateDir = false;

    mutable std::mutex m_mutex;  // start and stop
    std::unique_ptr<CertificateAuthority> m_authority;
    std::unique_ptr<KeyedCertificate> m_certificate;
    std::unique_ptr<Server> m_server;
    // Read without the start/stop lock, so that a handler may ask while Stop waits for it.
    std::atomic<int> m_port{0};
    std::atomic<bool> m_running{false};
};

}  // namespace gcemu
