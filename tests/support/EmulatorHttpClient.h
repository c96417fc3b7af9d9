// Raw HTTPS requests to an in-process gcemu under Google's host names, signed in as a service account of
// the emulator: for tests of the emulator itself, below the library.
//
//   testsupport::EmulatorHttpClient client(emulator, "reader@gcemu-project-1.iam.gserviceaccount.com");
//   testsupport::HttpReply reply = client.Get("storage.googleapis.com", "/storage/v1/b/my-bucket");
#pragma once

#include <gtest/gtest.h>
#include <httplib.h>

#include <map>
#include <memory>
#include <string>

#include "emulator/Emulator.h"
#include "host/ZkJson.h"

namespace testsupport {

struct HttpReply {
    int status = 0;  // 0: no answer (the failure is reported)
    std::string body;
    httplib::Headers headers;
    json_spirit::mObject json;  // the body when it is a JSON object
    bool isJson = false;

    std::string Header(const std::string& name) const {
        const auto found = headers.find(name);
        return found == headers.end() ? std::string() : found->second;
    }
    // error.message of a Google JSON error.
    std::string ErrorMessage() const {
        const json_spirit::mObject* error = ZkJson::FindObject(json, "error");
        return error ? ZkJson::GetStringValue(*error, "message") : std::string();
    }
};

class EmulatorHttpClient {
public:
    // The emulator must be running; the account is made in it.
    EmulatorHttpClient(gcemu::Emulator& emulator, const std::string& email) : m_emulator(emulator) {
        m_emulator.MakeServiceAccount(email);
        m_token = m_emulator.accounts().Issue(email).accessToken;
    }

    HttpReply Get(const std::string& host, const std::string& path) {
        return Finish(path, Client(host).Get(path));
    }

    HttpReply Post(const std::string& host, const std::string& path, const std::string& body,
                   const std::string& contentType = "application/json") {
        return Finish(path, Client(host).Post(path, body, contentType));
    }

    HttpReply Patch(const std::string& host, const std::string& path, const std::string& body,
                    const std::string& contentType = "application/json") {
        return Finish(path, Client(host).Patch(path, body, contentType));
    }

    HttpReply Delete(const std::string& host, const std::string& path) {
        return Finish(path, Client(host).Delete(path));
    }

private:
    httplib::SSLClient& Client(const std::string& host) {
        auto& client = m_clients[host];
        if (!client) {
            client = std::make_unique<httplib::SSLClient>(host, m_emulator.Port());
            client->set_hostname_addr_map({{host, "127.0.0.1"}});
            client->set_ca_cert_path(m_emulator.CaFile().c_str());
            client->enable_server_certificate_verification(true);
            client->set_bearer_token_auth(m_token);
            // Paths go as the test wrote them: httplib would encode '+' and spaces on its own.
            client->set_url_encode(false);
        }
        return *client;
    }

    static HttpReply Finish(const std::string& path, const httplib::Result& result) {
        HttpReply reply;
        if (!result) {
            ADD_FAILURE() << path << ": " << httplib::to_string(result.error());
            return reply;
        }
        reply.status = result->status;
        reply.body = result->body;
        reply.headers = result->headers;
        reply.isJson = ZkJson::Unserialize(reply.body, reply.json);
        return reply;
    }

    gcemu::Emulator& m_emulator;
    std::string m_token;
    std::map<std::string, std::unique_ptr<httplib::SSLClient>> m_clients;
};

}  // namespace testsupport
