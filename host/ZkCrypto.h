// SHA-256 and RSA signing for the service-account sign-in (OpenSSL underneath). Failures raise
// ZkException.
#pragma once

#include <cstddef>
#include <exception>
#include <string>
#include <vector>

#include "HostApi.h"

struct evp_md_ctx_st;
struct evp_pkey_st;

class HOST_API ZkException : public std::exception {
public:
    explicit ZkException(std::string message);
    const char* what() const noexcept override;

private:
    std::string m_message;
};

// A byte buffer returned by the signer.
class HOST_API ZkcBucket {
public:
    ZkcBucket() = default;
    ZkcBucket(const unsigned char* data, size_t size);
    const unsigned char* getData() const { return m_data.data(); }
    size_t getSize() const { return m_data.size(); }

private:
    std::vector<unsigned char> m_data;
};

class HOST_API ZkcSHA256 {
public:
    static constexpr size_t kDigestLength = 32;
    ZkcSHA256();
    ~ZkcSHA256();
    ZkcSHA256(const ZkcSHA256&) = delete;
    ZkcSHA256& operator=(const ZkcSHA256&) = delete;

    void addData(const void* data, size_t length);
    // Writes the 32-byte digest; the buffer must hold at least 32 bytes. The hasher is then spent.
    void finish(unsigned char* digest, size_t length);

private:
    evp_md_ctx_st* m_context;
    bool m_finished = false;
};

class HOST_API ZkcRSA {
public:
    ZkcRSA();
    ~ZkcRSA();
    ZkcRSA(const ZkcRSA&) = delete;
    ZkcRSA& operator=(const ZkcRSA&) = delete;

    // With padding, sign() makes a PKCS#1 v1.5 signature of a SHA-256 digest (DigestInfo prefix
    // included); without, it applies the raw private-key operation to a modulus-sized input.
    void enablePadding(bool enable);
    // Loads an RSA private key from PEM text (PKCS#8 or PKCS#1, encrypted when a password is given).
    void setPriKeyPEM(const std::string& pem, const std::string& password);
    // Modulus size in bytes (the signature length).
    size_t getModSize() const;
    ZkcBucket sign(const unsigned char* digest, size_t length) const;

private:
    evp_pkey_st* m_key = nullptr;
    bool m_padding = true;
};
