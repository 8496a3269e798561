#include "sim/tls_server.h"

#include <cstdio>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/tls1.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "sim/sim_state.h"

std::string tls_version_name(unsigned int version)
{
    switch (version) {
    case 0x0300: return "SSLv3";
    case 0x0301: return "TLSv1";
    case 0x0302: return "TLSv1.1";
    case 0x0303: return "TLSv1.2";
    case 0x0304: return "TLSv1.3";
    default: {
        char text[16];
        std::snprintf(text, sizeof text, "0x%04X", version);
        return text;
    }
    }
}

namespace {

std::string suite_name(SSL* ssl, const unsigned char* code)
{
    const SSL_CIPHER* cipher = SSL_CIPHER_find(ssl, code);
    if (cipher != nullptr)
        return SSL_CIPHER_get_name(cipher);
    char text[16];
    std::snprintf(text, sizeof text, "0x%02X%02X", code[0], code[1]);
    return text;
}

// Notes the hello in the ClientHello set as the connection's app data.
int note_client_hello(SSL* ssl, int*, void*)
{
    auto* noted = static_cast<ClientHello*>(SSL_get_app_data(ssl));
    if (noted == nullptr)
        return SSL_CLIENT_HELLO_SUCCESS;
    ClientHello& hello = *noted;
    hello.legacy_version = SSL_client_hello_get0_legacy_version(ssl);
    std::string text = "version: " + tls_version_name(hello.legacy_version) +
                       "\nciphers: ";
    const unsigned char* codes = nullptr;
    size_t length = SSL_client_hello_get0_ciphers(ssl, &codes);
    bool first = true;
    for (size_t at = 0; at + 1 < length; at += 2) {
        hello.cipher_suites.push_back(static_cast<unsigned>(codes[at] << 8 | codes[at + 1]));
        if (codes[at] == 0x00 && codes[at + 1] == 0xFF)
            continue; // renegotiation signalling value, not a suite
        if (!first)
            text += ':';
        text += suite_name(ssl, codes + at);
        first = false;
    }
    text += '\n';
    const unsigned char* versions = nullptr;
    size_t versions_length = 0;
    if (SSL_client_hello_get0_ext(ssl, TLSEXT_TYPE_supported_versions, &versions,
                                  &versions_length) == 1 &&
        versions_length >= 1) {
        text += "supported_versions:";
        for (size_t at = 1; at + 1 < versions_length && at < 1u + versions[0]; at += 2) {
            text += ' ';
            text += tls_version_name((versions[at] << 8) | versions[at + 1]);
        }
        text += '\n';
    }
    int* present = nullptr;
    size_t count = 0;
    if (SSL_client_hello_get1_extensions_present(ssl, &present, &count) == 1) {
        hello.extensions.assign(present, present + count);
        OPENSSL_free(present);
    }
    hello.text = text;
    return SSL_CLIENT_HELLO_SUCCESS;
}

// A fresh RSA key and a self-signed certificate for it; both null when
// they could not be made.
bool make_identity(EVP_PKEY*& key_made, X509*& certificate_made)
{
    EVP_PKEY* key = EVP_RSA_gen(2048);
    X509* certificate = X509_new();
    bool good = key != nullptr && certificate != nullptr;
    if (good) {
        X509_set_version(certificate, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(certificate), 1);
        X509_gmtime_adj(X509_getm_notBefore(certificate), -3600);
        X509_gmtime_adj(X509_getm_notAfter(certificate), 3650L * 24 * 3600);
        X509_set_pubkey(certificate, key);
        X509_NAME* name = X509_get_subject_name(certificate);
        X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>("mpsim"), -1, -1, 0);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
        X509_set_issuer_name(certificate, name);
        good = X509_sign(certificate, key, EVP_sha256()) > 0;
    }
    if (!good) {
        X509_free(certificate);
        EVP_PKEY_free(key);
        key = nullptr;
        certificate = nullptr;
    }
    key_made = key;
    certificate_made = certificate;
    return good;
}

// The identity kept in `path` (key and certificate, PEM), read back.
bool read_identity(const std::string& path, EVP_PKEY*& key, X509*& certificate)
{
    FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr)
        return false;
    key = PEM_read_PrivateKey(file, nullptr, nullptr, nullptr);
    certificate = PEM_read_X509(file, nullptr, nullptr, nullptr);
    std::fclose(file);
    if (key != nullptr && certificate != nullptr)
        return true;
    EVP_PKEY_free(key);
    X509_free(certificate);
    key = nullptr;
    certificate = nullptr;
    return false;
}

// Makes the folders of path (one level of state folder and its own).
void make_folders_of(const std::string& path)
{
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        ::mkdir(path.substr(0, slash).c_str(), 0700);
}

// Keeps a new identity in `path`: written beside it and renamed, so that
// simulators starting at once all end up with one whole file.
void keep_identity(const std::string& path, EVP_PKEY* key, X509* certificate)
{
    make_folders_of(path);
    std::string temporary = path + ".tmp." + std::to_string(::getpid());
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    FILE* file = fd < 0 ? nullptr : ::fdopen(fd, "w");
    if (file == nullptr) {
        if (fd >= 0)
            ::close(fd);
        return;
    }
    bool good = PEM_write_PrivateKey(file, key, nullptr, nullptr, 0, nullptr, nullptr) == 1 &&
                PEM_write_X509(file, certificate) == 1;
    good = std::fclose(file) == 0 && good;
    // A simulator that was quicker has kept its own: that one stays.
    if (good && ::link(temporary.c_str(), path.c_str()) != 0 && errno != EEXIST)
        std::fprintf(stderr, "mpsim: cannot keep the identity in %s: %s\n", path.c_str(), std::strerror(errno));
    ::unlink(temporary.c_str());
}

// The identity of the key store, made and kept there at the first start;
// a fresh one at every start without a store.
bool use_identity(SSL_CTX* context, const std::string& store, std::string& error)
{
    EVP_PKEY* key = nullptr;
    X509* certificate = nullptr;
    bool good = !store.empty() && read_identity(store, key, certificate);
    if (!good && make_identity(key, certificate)) {
        good = true;
        if (!store.empty()) {
            keep_identity(store, key, certificate);
            // Another simulator may have kept its identity first: all use that one.
            EVP_PKEY* kept_key = nullptr;
            X509* kept_certificate = nullptr;
            if (read_identity(store, kept_key, kept_certificate)) {
                EVP_PKEY_free(key);
                X509_free(certificate);
                key = kept_key;
                certificate = kept_certificate;
            }
        }
    }
    good = good && SSL_CTX_use_certificate(context, certificate) == 1 && SSL_CTX_use_PrivateKey(context, key) == 1;
    if (!good)
        error = "cannot make a key and certificate";
    X509_free(certificate);
    EVP_PKEY_free(key);
    return good;
}

} // namespace

SSL_CTX* make_server_context(const SimOptions& options, std::string& error)
{
    // No configuration file (openssl.cnf, or whatever OPENSSL_CONF names),
    // and so no provider module it could load: this is the first call into
    // the library.
    OPENSSL_init_ssl(OPENSSL_INIT_NO_LOAD_CONFIG | OPENSSL_INIT_LOAD_SSL_STRINGS |
                         OPENSSL_INIT_LOAD_CRYPTO_STRINGS,
                     nullptr);
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    if (context == nullptr) {
        error = "SSL_CTX_new failed";
        return nullptr;
    }
    SSL_CTX_set_security_level(context, 0);
    bool good = SSL_CTX_set_min_proto_version(context, options.lowest_tls) == 1 &&
                SSL_CTX_set_max_proto_version(context, options.highest_tls) == 1 &&
                SSL_CTX_set_cipher_list(context, options.suites.c_str()) == 1;
    if (!good) {
        error = "this OpenSSL offers no TLS 1.0 with the Triple-DES suites";
        SSL_CTX_free(context);
        return nullptr;
    }
    SSL_CTX_set_dh_auto(context, 1);
    SSL_CTX_set_options(context, SSL_OP_NO_TICKET | SSL_OP_NO_RENEGOTIATION);
    SSL_CTX_set_session_cache_mode(context, SSL_SESS_CACHE_OFF);
    SSL_CTX_set_client_hello_cb(context, note_client_hello, nullptr);
    if (!options.cert_file.empty()) {
        if (SSL_CTX_use_certificate_chain_file(context, options.cert_file.c_str()) != 1 ||
            SSL_CTX_use_PrivateKey_file(context, options.key_file.c_str(), SSL_FILETYPE_PEM) != 1 ||
            SSL_CTX_check_private_key(context) != 1) {
            error = "cannot use " + options.cert_file + " with " + options.key_file;
            SSL_CTX_free(context);
            return nullptr;
        }
    } else if (!use_identity(context, options.key_store, error)) {
        SSL_CTX_free(context);
        return nullptr;
    }
    return context;
}
