#include "sim/tls_server.h"

#include <cstdio>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/tls1.h>
#include <openssl/x509.h>

#include "sim/sim_state.h"

namespace {

std::string version_name(unsigned int version)
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
    std::string text = "version: " + version_name(hello.legacy_version) +
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
            text += version_name((versions[at] << 8) | versions[at + 1]);
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

bool use_fresh_identity(SSL_CTX* context, std::string& error)
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
        good = X509_sign(certificate, key, EVP_sha256()) > 0 &&
               SSL_CTX_use_certificate(context, certificate) == 1 &&
               SSL_CTX_use_PrivateKey(context, key) == 1;
    }
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
    } else if (!use_fresh_identity(context, error)) {
        SSL_CTX_free(context);
        return nullptr;
    }
    return context;
}
