// Service accounts (email -> public key) and the access tokens the emulator hands out. Time comes only
// from host::Now(), so a test that moves its fake clock expires tokens here as in the client.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "emulator/CertificateAuthority.h"

namespace gcemu {

enum class TokenState { kValid, kUnknown, kExpired };

struct IssuedToken {
    std::string accessToken;
    int64_t expiresIn = 0;  // seconds
};

class Accounts {
public:
    explicit Accounts(int64_t tokenLifetimeSecs);

    // The key as a public key PEM ("BEGIN PUBLIC KEY") or a certificate PEM. Replaces the key of an
    // account registered before. Throws PkiError when the PEM holds neither.
    void Register(const std::string& email, const std::string& publicKeyOrCertificatePem);
    bool Has(const std::string& email) const;

    // Whether signature is a valid RS256 signature of signedText by the account's key; false for an
    // unknown account.
    bool VerifyRs256(const std::string& email, const std::string& signedText,
                     const std::string& signature) const;

    IssuedToken Issue(const std::string& email);
    TokenState Check(const std::string& accessToken) const;
    // The account a live token was issued to; empty otherwise.
    std::string AccountOf(const std::string& accessToken) const;
    // Every token issued so far stops working.
    void RevokeAll();

    int64_t tokenLifetimeSecs() const { return m_lifetime; }

private:
    struct Token {
        std::string email;
        int64_t expiresAt = 0;
    };

    const int64_t m_lifetime;
    mutable std::mutex m_mutex;
    std::map<std::string, EvpPkeyPtr> m_keys;
    std::map<std::string, Token> m_tokens;
};

}  // namespace gcemu
