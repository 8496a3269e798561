#include "link/processor_identity.h"

#include <openssl/evp.h>
#include <openssl/sha.h>
#include <openssl/x509.h>

#include <cctype>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/file_kind.h"
#include "platform/locked_append.h"
#include "platform/shared_writable.h"
#include "records/log_output.h"
#include "records/run_causes.h"
#include "records/run_report.h"
#include "records/run_context.h"

std::string peer_key_fingerprint(SSL* tls)
{
    X509* certificate = SSL_get1_peer_certificate(tls);
    if (certificate == nullptr)
        return {};
    unsigned char* der = nullptr;
    int length = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(certificate), &der);
    X509_free(certificate);
    if (length <= 0)
        return {};
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(der, static_cast<size_t>(length), digest);
    OPENSSL_free(der);
    // 32 bytes give 44 characters of base64 and the terminator.
    unsigned char text[4 * ((SHA256_DIGEST_LENGTH + 2) / 3) + 1];
    EVP_EncodeBlock(text, digest, SHA256_DIGEST_LENGTH);
    return "sha256:" + std::string(reinterpret_cast<const char*>(text));
}

std::string known_processor_host(const char* address, const char* port_text)
{
    if (strcmp(port_text, "443") == 0)
        return address;
    if (strchr(address, ':') != nullptr)
        return "[" + std::string(address) + "]:" + port_text;
    return std::string(address) + ":" + port_text;
}

namespace {

std::string without_padding(const std::string& fingerprint)
{
    size_t end = fingerprint.find_last_not_of('=');
    return end == std::string::npos ? std::string() : fingerprint.substr(0, end + 1);
}

// The fields of a line, split at blanks.
std::string next_field(const std::string& line, size_t& at)
{
    at = line.find_first_not_of(" \t\r", at);
    if (at == std::string::npos) {
        at = line.size();
        return {};
    }
    size_t end = line.find_first_of(" \t\r", at);
    if (end == std::string::npos)
        end = line.size();
    std::string field = line.substr(at, end - at);
    at = end;
    return field;
}

// Host names are the same in any case (LOCALHOST is localhost); so are the
// hexadecimal digits of an IPv6 address.
bool same_host(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// The line a first contact appends.
std::string known_line(const std::string& host, const std::string& fingerprint)
{
    return host + " " + fingerprint + "\n";
}

}  // namespace

bool same_fingerprint(const std::string& a, const std::string& b)
{
    return without_padding(a) == without_padding(b);
}

KnownLine find_known_processor(const std::string& content, const std::string& host)
{
    std::istringstream lines(content);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        size_t at = 0;
        std::string name = next_field(line, at);
        if (name.empty() || name[0] == '#' || !same_host(name, host))
            continue;
        return KnownLine{number, next_field(line, at)};
    }
    return {};
}

Flow check_known_processors_file(RunContext& run)
{
    const char* path = run.settings.known_processors_file;
    if (path == nullptr)
        return Flow::go_on;
    if (link_to_nothing(path)) {
        log_error(run, "The known-processors file %s is a link that leads to nothing; the file is not made through a "
                  "link. Nothing was sent.\r\n",
                  path);
        note_cause(run, Cause::known_processors_file,
                   format_text("the known-processors file %s is a link that leads to nothing", path));
        record_failure(run, RunCode::unusable);
        return Flow::end_now;
    }
    std::string reason = changeable_by_others(path);
    if (reason.empty())
        return Flow::go_on;
    if (!run.settings.known_processors_strict) {
        error_only(run, "Warning: the known-processors file %s can be changed by others than its owner: %s.\n", path,
                   reason.c_str());
        return Flow::go_on;
    }
    log_error(run, "The known-processors file %s can be changed by others than its owner: %s; "
              "QUORVEX_KNOWN_PROCESSORS_MODE=strict does not trust it. Nothing was sent.\r\n",
              path, reason.c_str());
    note_cause(run, Cause::known_processors_file,
               format_text("the known-processors file %s can be changed by others than its owner (%s); "
                           "QUORVEX_KNOWN_PROCESSORS_MODE=strict does not trust it",
                           path, reason.c_str()));
    record_failure(run, RunCode::unusable);
    return Flow::end_now;
}

Flow check_processor_identity(RunContext& run, SSL* tls)
{
    const char* path = run.settings.known_processors_file;
    if (path == nullptr)
        return Flow::go_on;
    std::string host = known_processor_host(run.settings.server_address, run.settings.port_text);
    std::string fingerprint = peer_key_fingerprint(tls);
    if (fingerprint.empty()) {
        log_error(run, "The processor at %s showed no certificate; its identity cannot be checked.\r\n", host.c_str());
        report_identity(run, "no_certificate", fingerprint);
        note_cause(run, Cause::identity_no_certificate,
                   format_text("the processor at %s showed no certificate; its identity cannot be checked", host.c_str()));
        record_failure(run, RunCode::identity_refused);
        return Flow::end_now;
    }
    KnownLine known;
    LockedAppend appended = LockedAppend::failed;
    if (!run.settings.known_processors_strict) {
        appended = append_line_once(path, known_line(host, fingerprint), [&](const std::string& content) {
            known = find_known_processor(content, host);
            return known.number != 0;
        });
    }
    if (appended == LockedAppend::failed) {
        // Strict mode, or a file this run may not write: a processor it
        // already holds can still be checked.
        std::ifstream file(path, std::ios::binary);
        std::ostringstream content;
        if (file)
            content << file.rdbuf();
        if (!file || file.bad()) {
            log_error(run, "The known-processors file %s cannot be read.\r\n", path);
            note_cause(run, Cause::known_processors_file, format_text("the known-processors file %s cannot be read", path));
            record_failure(run, RunCode::unusable);
            return Flow::end_now;
        }
        known = find_known_processor(content.str(), host);
        if (known.number == 0 && !run.settings.known_processors_strict) {
            log_error(run, "The processor at %s (key %s) cannot be recorded: the known-processors file %s cannot be "
                      "written.\r\n",
                      host.c_str(), fingerprint.c_str(), path);
            note_cause(run, Cause::known_processors_file,
                       format_text("the processor at %s (key %s) cannot be recorded: the known-processors file %s "
                                   "cannot be written",
                                   host.c_str(), fingerprint.c_str(), path));
            record_failure(run, RunCode::unusable);
            return Flow::end_now;
        }
    }
    if (known.number == 0 && appended != LockedAppend::appended) {
        log_error(run, "The processor at %s (key %s) is not in the known-processors file %s; "
                  "QUORVEX_KNOWN_PROCESSORS_MODE=strict refuses it. To accept it, add the line \"%s %s\".\r\n",
                  host.c_str(), fingerprint.c_str(), path, host.c_str(), fingerprint.c_str());
        report_identity(run, "unknown", fingerprint);
        note_cause(run, Cause::identity_unknown,
                   format_text("the processor at %s (key %s) is not in the known-processors file %s; to accept it, add "
                               "the line \"%s %s\"",
                               host.c_str(), fingerprint.c_str(), path, host.c_str(), fingerprint.c_str()));
        record_failure(run, RunCode::identity_refused);
        return Flow::end_now;
    }
    if (appended == LockedAppend::appended) {
        log_info(run, "First contact with the processor at %s: its key %s is now recorded in %s.\r\n", host.c_str(),
                 fingerprint.c_str(), path);
        report_identity(run, "new", fingerprint);
        return Flow::go_on;
    }
    if (same_fingerprint(known.fingerprint, fingerprint)) {
        report_identity(run, "known", fingerprint);
        return Flow::go_on;
    }
    log_error(run, "The key of the processor at %s has changed: line %d of %s holds %s, the processor shows %s. "
              "Nothing was sent. If the new key is right, remove or edit line %d of %s.\r\n",
              host.c_str(), known.number, path, known.fingerprint.c_str(), fingerprint.c_str(), known.number, path);
    report_identity(run, "changed", fingerprint);
    note_cause(run, Cause::identity_changed,
               format_text("the key of the processor at %s has changed: line %d of %s holds %s, the processor shows %s",
                           host.c_str(), known.number, path, known.fingerprint.c_str(), fingerprint.c_str()));
    record_failure(run, RunCode::identity_refused);
    return Flow::end_now;
}
