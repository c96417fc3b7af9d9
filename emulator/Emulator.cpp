#include "emulator/Emulator.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "emulator/Server.h"
#include "host/HbDebug.h"

namespace gcemu {
namespace {

json_spirit::mObject WorldDocument(const EmulatorOptions& options) {
    return options.worldFile.empty() ? World::DefaultDocument() : World::ReadDocument(options.worldFile);
}

std::string JournalFileFromEnvironment() {
    const char* path = std::getenv("GCEMU_JOURNAL_FILE");
    return path ? path : "";
}

std::string MakeTemporaryFolder() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/gcemu-XXXXXX";
    if (!::mkdtemp(&pattern[0]))
        throw std::runtime_error("cannot make a state folder " + pattern + ": " + std::strerror(errno));
    return pattern;
}

}  // namespace

Emulator::Emulator(Options options)
    : m_options(std::move(options)),
      m_world(WorldDocument(m_options)),
      m_accounts(m_options.tokenLifetimeSecs),
      m_journal(JournalFileFromEnvironment()),
      m_dispatcher(m_router, m_faults, m_accounts, m_journal) {
    m_context.reset(new EmulatorContext{
        m_options, m_world, m_accounts, m_journal, m_faults, m_operations, m_spannerOperations,
        m_dataflowJobs, [this](const std::string& email) { return MakeServiceAccount(email); },
        [this] { ResetWorld(); }});
    m_families = MakeApiFamilies();
    for (const auto& family : m_families) family->Register(m_router, *m_context);
    AddConnectionRoutes();
    SeedFamilies();
    // Last, so that nothing after it can throw and leave a temporary folder behind.
    if (m_options.stateDir.empty()) {
        m_stateDir = MakeTemporaryFolder();
        m_ownsStateDir = true;
    } else {
        m_stateDir = m_options.stateDir;
        std::error_code error;
        std::filesystem::create_directories(m_stateDir, error);
        if (error)
            throw std::runtime_error("cannot make the state folder " + m_stateDir + ": " + error.message());
    }
}

Emulator::~Emulator() {
    Stop();
    if (m_ownsStateDir) {
        std::error_code ignored;
        std::filesystem::remove_all(m_stateDir, ignored);
    }
}

void Emulator::Start() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_server) return;
    if (!m_authority) {
        m_authority = std::make_unique<CertificateAuthority>("gcemu local CA");
        m_certificate = std::make_unique<KeyedCertificate>(m_authority->IssueServerCertificate(
            {"*.googleapis.com", "googleapis.com", "localhost"}, {"127.0.0.1"}));
        WriteFile(CaFile(), m_authority->CertificatePem());
    }
    m_faults.Resume();
    auto server = std::make_unique<Server>(*m_certificate, m_dispatcher, m_connections);
    m_port = server->Start(m_options.port);
    m_server = std::move(server);
    m_running = true;
    HbDebug().Debug(__PRETTY_FUNCTION__, "gcemu: serving on 127.0.0.1:%d, state in %s", m_port.load(),
                    m_stateDir.c_str());
}

void Emulator::Stop() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_server) return;
    m_running = false;
    m_faults.Interrupt();  // a stalled request must not hold the stop up
    m_server->Stop();
    m_server.reset();
    m_journal.Flush();
    HbDebug().Debug(__PRETTY_FUNCTION__, "gcemu: stopped (port %d)", m_port.load());
}

bool Emulator::IsRunning() const {
    return m_running;
}

int Emulator::Port() const {
    return m_port;
}

std::string Emulator::CaFile() const {
    return m_stateDir + "/ca.pem";
}

std::string Emulator::WriteClientSettings(const std::string& path, const std::string& extraIni) {
    if (!IsRunning()) throw std::logic_error("the emulator must run before its client settings are written");
    const std::string target = path.empty() ? m_stateDir + "/gcsdk.ini" : path;
    WriteFile(target, ClientSettingsText(Port(), CaFile(), extraIni));
    return target;
}

ServiceAccountKey Emulator::MakeServiceAccount(const std::string& email) {
    ServiceAccountKey key = WriteServiceAccountKey(m_stateDir, email);
    m_accounts.Register(email, PublicKeyPemOf(key.privateKeyPem));
    return key;
}

void Emulator::RegisterServiceAccount(const std::string& email, const std::string& publicKeyPem) {
    m_accounts.Register(email, publicKeyPem);
}

void Emulator::RevokeAllTokens() {
    m_accounts.RevokeAll();
}

void Emulator::ResetWorld() {
    SeedFamilies();
    m_journal.Clear();
    m_faults.Clear();
    m_operations.Reset();
    m_spannerOperations.Reset();
    m_dataflowJobs.Reset();
}

// The control API's connection counts: the server keeps them, beside the families' context.
void Emulator::AddConnectionRoutes() {
    m_router.Add(
        hosts::kControl, "GET", "/_gcemu/connections",
        [this](const Request&, Response& response) { response = Response::Json(m_connections.ToJson()); },
        Auth::kNone);
    m_router.Add(
        hosts::kControl, "DELETE", "/_gcemu/connections",
        [this](const Request&, Response& response) {
            m_connections.Clear();
            response = Response::Json(json_spirit::mObject());
        },
        Auth::kNone);
}

void Emulator::SeedFamilies() {
    World::Txn world = m_world.Lock();
    world.Reseed();
    for (const auto& family : m_families) family->Seed(world);
    m_operations.Forget(world);
    m_spannerOperations.Forget();
    m_dataflowJobs.Forget();
}

}  // namespace gcemu
