#include "emulator/ClientFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <boost/property_tree/ini_parser.hpp>
#include <boost/property_tree/ptree.hpp>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "emulator/CertificateAuthority.h"
#include "emulator/Encoding.h"
#include "host/ZkJson.h"

namespace gcemu {

namespace pt = boost::property_tree;

namespace {

// The project a service account belongs to: "name@project.iam.gserviceaccount.com" -> "project".
std::string ProjectOf(const std::string& email) {
    const size_t at = email.find('@');
    if (at == std::string::npos) return std::string();
    const std::string domain = email.substr(at + 1);
    const size_t dot = domain.find('.');
    return dot == std::string::npos ? domain : domain.substr(0, dot);
}

std::string FileNameFor(const std::string& email) {
    std::string name;
    for (char c : email)
        name += (std::isalnum(static_cast<unsigned char>(c)) || c == '@' || c == '.' || c == '-' || c == '_')
                    ? c
                    : '_';
    return name;
}

}  // namespace

void WriteFile(const std::string& path, const std::string& content, unsigned mode) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0) throw std::runtime_error("cannot write " + path + ": " + std::strerror(errno));
    size_t done = 0;
    while (done < content.size()) {
        const ssize_t count = ::write(fd, content.data() + done, content.size() - done);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) {
            const int error = errno;
            ::close(fd);
            throw std::runtime_error("cannot write " + path + ": " + std::strerror(error));
        }
        done += static_cast<size_t>(count);
    }
    ::fchmod(fd, mode);  // an existing file keeps its old mode through O_CREAT
    if (::close(fd) != 0) throw std::runtime_error("cannot write " + path + ": " + std::strerror(errno));
}

std::string ServiceAccountJson(const std::string& email, const std::string& privateKeyPem,
                               const std::string& privateKeyId, const std::string& clientId) {
    json_spirit::mObject key;
    key["type"] = "service_account";
    key["project_id"] = ProjectOf(email);
    key["private_key_id"] = privateKeyId;
    key["private_key"] = privateKeyPem;
    key["client_email"] = email;
    key["client_id"] = clientId;
    key["auth_uri"] = "https://accounts.google.com/o/oauth2/auth";
    key["token_uri"] = "https://oauth2.googleapis.com/token";
    key["auth_provider_x509_cert_url"] = "https://www.googleapis.com/oauth2/v1/certs";
    key["client_x509_cert_url"] = "https://www.googleapis.com/robot/v1/metadata/x509/" + PercentEncode(email);
    key["universe_domain"] = "googleapis.com";
    return ZkJson::Serialize(key);
}

ServiceAccountKey WriteServiceAccountKey(const std::string& dir, const std::string& email) {
    ServiceAccountKey account;
    account.email = email;
    account.privateKeyPem = GenerateRsaKeyPem(2048);
    account.privateKeyId = RandomHex(40);
    account.p12Password = "notasecret";
    const std::string base = dir + "/" + FileNameFor(email);
    account.jsonKeyFile = base + ".json";
    account.p12File = base + ".p12";
    WriteFile(account.jsonKeyFile,
              ServiceAccountJson(email, account.privateKeyPem, account.privateKeyId, RandomDigits(21)), 0600);
    const KeyedCertificate certificate =
        MakeSelfSignedCertificate(account.privateKeyPem, account.privateKeyId);
    WriteFile(account.p12File, MakePkcs12(certificate, account.p12Password, Pkcs12Protection::kLegacy), 0600);
    return account;
}

bool ReadServiceAccountKey(const std::string& dir, const std::string& email, ServiceAccountKey& key) {
    const std::string base = dir + "/" + FileNameFor(email);
    std::ifstream file(base + ".json", std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    json_spirit::mObject json;
    if (!file || !ZkJson::Unserialize(text.str(), json) ||
        ZkJson::GetStringValue(json, "client_email") != email)
        return false;
    ServiceAccountKey found;
    found.email = email;
    found.privateKeyPem = ZkJson::GetStringValue(json, "private_key");
    found.privateKeyId = ZkJson::GetStringValue(json, "private_key_id");
    if (found.privateKeyPem.empty()) return false;
    found.p12Password = "notasecret";
    found.jsonKeyFile = base + ".json";
    found.p12File = base + ".p12";
    if (::access(found.p12File.c_str(), R_OK) != 0) {
        const KeyedCertificate certificate =
            MakeSelfSignedCertificate(found.privateKeyPem, found.privateKeyId);
        WriteFile(found.p12File, MakePkcs12(certificate, found.p12Password, Pkcs12Protection::kLegacy), 0600);
    }
    key = found;
    return true;
}

std::string ClientSettingsText(int port, const std::string& caFile, const std::string& extraIni) {
    pt::ptree settings;
    settings.put(pt::ptree::path_type("GoogleCloud/sConnectTo", '/'), "127.0.0.1:" + std::to_string(port));
    settings.put(pt::ptree::path_type("GoogleCloud/sCaBundle", '/'), caFile);
    if (!extraIni.empty()) {
        pt::ptree extra;
        try {
            std::istringstream in(extraIni);
            pt::ini_parser::read_ini(in, extra);
        } catch (const pt::ini_parser_error& error) {
            throw std::runtime_error(std::string("extra settings are not INI: ") + error.what());
        }
        for (const auto& [name, node] : extra) {
            if (node.empty()) {  // a key before any section, or an empty section
                if (!node.data().empty()) settings.put(pt::ptree::path_type(name, '/'), node.data());
                continue;
            }
            for (const auto& [key, value] : node)
                settings.put(pt::ptree::path_type(name + "/" + key, '/'), value.data());
        }
    }
    std::ostringstream out;
    pt::ini_parser::write_ini(out, settings);
    return out.str();
}

}  // namespace gcemu
