#include "link/processor_certificate.h"

#include <openssl/x509v3.h>

#include <string>

#include "link/processor_identity.h"
#include "records/log_output.h"
#include "records/run_causes.h"
#include "records/run_context.h"
#include "records/run_report.h"

bool trust_authorities(const RunContext& run, SSL_CTX* context)
{
    const char* file = run.settings.ca_file;
    if (file == nullptr)
        return true;
    // Only the file's authorities: the system's store is not loaded.
    return SSL_CTX_load_verify_locations(context, file, nullptr) == 1;
}

void expect_server_name(const RunContext& run, SSL* tls)
{
    if (run.settings.ca_file == nullptr)
        return;
    X509_VERIFY_PARAM* expected = SSL_get0_param(tls);
    // An address is matched against the certificate's IP addresses, a name
    // against its DNS names (or its common name when it has none).
    if (X509_VERIFY_PARAM_set1_ip_asc(expected, run.settings.server_address) != 1)
        X509_VERIFY_PARAM_set1_host(expected, run.settings.server_address, 0);
    SSL_set_verify(tls, SSL_VERIFY_NONE, nullptr);
}

namespace {

// The names and addresses the certificate is for, as "DNS:a, IP:b".
std::string certificate_names(X509* certificate)
{
    std::string names;
    auto* alternatives =
        static_cast<GENERAL_NAMES*>(X509_get_ext_d2i(certificate, NID_subject_alt_name, nullptr, nullptr));
    for (int i = 0; alternatives != nullptr && i < sk_GENERAL_NAME_num(alternatives); ++i) {
        const GENERAL_NAME* name = sk_GENERAL_NAME_value(alternatives, i);
        std::string text;
        if (name->type == GEN_DNS) {
            const ASN1_STRING* dns = name->d.dNSName;
            text = "DNS:" + std::string(reinterpret_cast<const char*>(ASN1_STRING_get0_data(dns)),
                                        static_cast<size_t>(ASN1_STRING_length(dns)));
        } else if (name->type == GEN_IPADD && ASN1_STRING_length(name->d.iPAddress) == 4) {
            const unsigned char* b = ASN1_STRING_get0_data(name->d.iPAddress);
            text = "IP:" + std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." +
                   std::to_string(b[3]);
        } else if (name->type == GEN_IPADD) {
            char* hex = OPENSSL_buf2hexstr(ASN1_STRING_get0_data(name->d.iPAddress),
                                           ASN1_STRING_length(name->d.iPAddress));
            text = std::string("IP:") + (hex != nullptr ? hex : "?");
            OPENSSL_free(hex);
        }
        if (text.empty())
            continue;
        if (!names.empty())
            names += ", ";
        names += text.substr(0, 200);
        if (names.size() > 1000)
            break;
    }
    GENERAL_NAMES_free(alternatives);
    if (names.empty()) {
        char common[256] = "";
        if (X509_NAME_get_text_by_NID(X509_get_subject_name(certificate), NID_commonName, common, sizeof common) > 0)
            names = std::string("CN:") + common;
        else
            names = "no name";
    }
    return names;
}

}  // namespace

Flow check_processor_certificate(RunContext& run, SSL* tls)
{
    const char* file = run.settings.ca_file;
    if (file == nullptr)
        return Flow::go_on;
    std::string host = known_processor_host(run.settings.server_address, run.settings.port_text);
    X509* certificate = SSL_get0_peer_certificate(tls);
    if (certificate == nullptr) {
        log_error(run, "The processor at %s showed no certificate; QUORVEX_CA_FILE=%s cannot vouch for it. Nothing was "
                  "sent.\r\n",
                  host.c_str(), file);
        report_identity(run, "no_certificate", "");
        note_cause(run, Cause::identity_no_certificate, format_text("the processor at %s showed no certificate", host.c_str()));
        record_failure(run, RunCode::identity_refused);
        return Flow::end_now;
    }
    long verdict = SSL_get_verify_result(tls);
    if (verdict == X509_V_OK)
        return Flow::go_on;
    std::string fingerprint = peer_key_fingerprint(tls);
    if (verdict == X509_V_ERR_HOSTNAME_MISMATCH || verdict == X509_V_ERR_IP_ADDRESS_MISMATCH) {
        log_error(run, "The certificate of the processor at %s is for %s, not for \"%s\". Nothing was sent.\r\n",
                  host.c_str(), certificate_names(certificate).c_str(), run.settings.server_address);
        report_identity(run, "name_mismatch", fingerprint);
        note_cause(run, Cause::tls_name_mismatch,
                   format_text("the certificate of the processor at %s is for %s, not for \"%s\"", host.c_str(),
                               certificate_names(certificate).c_str(), run.settings.server_address));
    } else {
        char issuer[256] = "";
        X509_NAME_oneline(X509_get_issuer_name(certificate), issuer, sizeof issuer);
        log_error(run, "The certificate of the processor at %s (issued by %s) does not lead to an authority of "
                  "QUORVEX_CA_FILE=%s: %s. Nothing was sent.\r\n",
                  host.c_str(), issuer, file, X509_verify_cert_error_string(verdict));
        report_identity(run, "untrusted", fingerprint);
        note_cause(run, Cause::tls_untrusted,
                   format_text("the certificate of the processor at %s (issued by %s) does not lead to an authority of "
                               "QUORVEX_CA_FILE=%s: %s",
                               host.c_str(), issuer, file, X509_verify_cert_error_string(verdict)));
    }
    record_failure(run, RunCode::identity_refused);
    return Flow::end_now;
}
