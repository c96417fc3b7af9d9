// The emulator's own tests: an in-process gcemu and a signed-in HTTPS client that reaches it under
// Google's host names, with the server certificate checked.
#pragma once

#include <gtest/gtest.h>
#include <httplib.h>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "emulator/Emulator.h"
#include "host/ZkJson.h"

namespace emutest {

inline constexpr char kCompute[] = "compute.googleapis.com";
inline constexpr char kAccount[] = "reader@gcemu-project-1.iam.gserviceaccount.com";

struct Reply {
    int status = 0;
    std::string text;
    json_spirit::mObject body;  // {} for an empty answer
};

class Client {
public:
    explicit Client(gcemu::Emulator::Options options = {}) : m_emulator(std::move(options)) {
        m_emulator.Start();
        m_emulator.MakeServiceAccount(kAccount);
        m_token = m_emulator.accounts().Issue(kAccount).accessToken;
    }

    Reply Get(const std::string& path, const std::string& host = kCompute) {
        return Send("GET", path, "", host);
    }
    Reply Post(const std::string& path, const json_spirit::mObject& body,
               const std::string& host = kCompute) {
        return Send("POST", path, ZkJson::Serialize(body), host);
    }
    Reply PostText(const std::string& path, const std::string& body, const std::string& host = kCompute) {
        return Send("POST", path, body, host);
    }
    Reply Delete(const std::string& path, const std::string& host = kCompute) {
        return Send("DELETE", path, "", host);
    }
    // An absolute https URL, such as an operation's selfLink, on its own host.
    Reply GetUrl(const std::string& url) {
        const std::string scheme = "https://";
        const size_t slash = url.find('/', scheme.size());
        if (url.compare(0, scheme.size(), scheme) != 0 || slash == std::string::npos) {
            ADD_FAILURE() << "not an https URL: " << url;
            return Reply();
        }
        return Get(url.substr(slash), url.substr(scheme.size(), slash - scheme.size()));
    }

    // The names of a list page's items.
    std::vector<std::string> Names(const std::string& path, const char* key = "items") {
        const Reply reply = Get(path);
        EXPECT_EQ(200, reply.status) << path << ": " << reply.text;
        std::vector<std::string> names;
        if (const json_spirit::mArray* items = ZkJson::FindArray(reply.body, key))
            for (const json_spirit::mValue& item : *items)
                names.push_back(ZkJson::GetStringValue(item.get_obj(), "name"));
        return names;
    }

    gcemu::Emulator& emulator() { return m_emulator; }

private:
    Reply Send(const std::string& method, const std::string& path, const std::string& body,
               const std::string& host) {
        auto& client = m_clients[host];
        if (!client) {
            client = std::make_unique<httplib::SSLClient>(host, m_emulator.Port());
            client->set_hostname_addr_map({{host, "127.0.0.1"}});
            client->set_ca_cert_path(m_emulator.CaFile().c_str());
            client->enable_server_certificate_verification(true);
            client->set_bearer_token_auth(m_token);
        }
        const auto result = method == "GET"    ? client->Get(path)
                            : method == "POST" ? client->Post(path, body, "application/json")
                                               : client->Delete(path);
        Reply reply;
        if (!result) {
            ADD_FAILURE() << method << " " << path << ": " << httplib::to_string(result.error());
            return reply;
        }
        reply.status = result->status;
        reply.text = result->body;
        if (!reply.text.empty()) {
            EXPECT_TRUE(ZkJson::Unserialize(reply.text, reply.body)) << path << ": " << reply.text;
        }
        return reply;
    }

    gcemu::Emulator m_emulator;
    std::string m_token;
    std::map<std::string, std::unique_ptr<httplib::SSLClient>> m_clients;
};

inline const json_spirit::mObject& Obj(const json_spirit::mObject& object, const std::string& key) {
    return object.at(key).get_obj();
}

inline std::string Text(const json_spirit::mObject& object, const std::string& key) {
    return ZkJson::GetStringValue(object, key);
}

// Compute Engine's error body: the status, message and reason, and no "status" member.
inline void ExpectComputeError(const Reply& reply, int code, const std::string& message,
                               const std::string& reason) {
    EXPECT_EQ(code, reply.status) << reply.text;
    if (!reply.body.count("error")) {
        ADD_FAILURE() << "no error in " << reply.text;
        return;
    }
    const json_spirit::mObject& error = Obj(reply.body, "error");
    EXPECT_EQ(message, Text(error, "message"));
    EXPECT_EQ(reason, Text(error.at("errors").get_array().at(0).get_obj(), "reason"));
    EXPECT_FALSE(error.count("status")) << "Compute Engine's errors carry no status";
}

}  // namespace emutest
