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

const char MODERN_MARK[] = "tls=modern";
const char LEGACY_MARK[] = "tls=legacy";

ProcessorProtocol negotiated_protocol(SSL* tls)
{
    return SSL_version(tls) >= TLS1_2_VERSION ? ProcessorProtocol::modern : ProcessorProtocol::legacy;
}

// The line that records a processor's key and what it was seen speaking.
std::string known_line(const std::string& host, const std::string& fingerprint, ProcessorProtocol seen)
{
    return host + " " + fingerprint + " " + (seen == ProcessorProtocol::modern ? MODERN_MARK : LEGACY_MARK) + "\n";
}

// Calls take(number, line, at) for each line that names host, with `at`
// just after the host field; stops when take answers true.
template <typename Take>
void lines_of_host(const std::string& content, const std::string& host, Take take)
{
    std::istringstream lines(content);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        size_t at = 0;
        std::string name = next_field(line, at);
        if (name.empty() || name[0] == '#' || !same_host(name, host))
            continue;
        if (take(number, line, at))
            return;
    }
}

}  // namespace

bool same_fingerprint(const std::string& a, const std::string& b)
{
    return without_padding(a) == without_padding(b);
}

KnownLine find_known_processor(const std::string& content, const std::string& host)
{
    KnownLine found;
    lines_of_host(content, host, [&](int number, const std::string& line, size_t at) {
        found = KnownLine{number, next_field(line, at)};
        return true;
    });
    return found;
}

ProcessorProtocol known_protocol(const std::string& content, const std::string& host)
{
    ProcessorProtocol known = ProcessorProtocol::unknown;
    lines_of_host(content, host, [&](int, const std::string& line, size_t at) {
        next_field(line, at);  // the key
        for (std::string mark = next_field(line, at); !mark.empty(); mark = next_field(line, at)) {
            if (mark == MODERN_MARK)
                known = ProcessorProtocol::modern;
            else if (mark == LEGACY_MARK && known == ProcessorProtocol::unknown)
                known = ProcessorProtocol::legacy;
        }
        return known == ProcessorProtocol::modern;
    });
    return known;
}

namespace {

// The whole text of the file; false when it cannot be read.
bool read_whole(const char* path, std::string& content)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    if (file)
        text << file.rdbuf();
    if (!file || file.bad())
        return false;
    content = text.str();
    return true;
}

std::string run_host(const RunContext& run)
{
    return known_processor_host(run.settings.server_address, run.settings.port_text);
}

}  // namespace

ProcessorProtocol known_processor_protocol(RunContext& run)
{
    std::string content;
    const char* path = run.settings.known_processors_file;
    if (path == nullptr || !read_whole(path, content))
        return ProcessorProtocol::unknown;
    return known_protocol(content, run_host(run));
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

namespace {

// A known processor seen speaking more than its lines say gets a line that
// says so; a file that cannot be written now is left as it is (the check
// itself has passed).
void remember_protocol(const char* path, const std::string& host, const std::string& fingerprint,
                       ProcessorProtocol seen, ProcessorProtocol remembered)
{
    if (remembered == ProcessorProtocol::modern || remembered == seen)
        return;
    static_cast<void>(append_line_once(path, known_line(host, fingerprint, seen), [&](const std::string& content) {
        ProcessorProtocol now = known_protocol(content, host);
        return now == ProcessorProtocol::modern || now == seen;
    }));
}

}  // namespace

Flow check_processor_identity(RunContext& run, SSL* tls)
{
    const char* path = run.settings.known_processors_file;
    if (path == nullptr)
        return Flow::go_on;
    std::string host = run_host(run);
    ProcessorProtocol seen = negotiated_protocol(tls);
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
    ProcessorProtocol remembered = ProcessorProtocol::unknown;
    LockedAppend appended = LockedAppend::failed;
    if (!run.settings.known_processors_strict) {
        appended = append_line_once(path, known_line(host, fingerprint, seen), [&](const std::string& content) {
            known = find_known_processor(content, host);
            remembered = known_protocol(content, host);
            return known.number != 0;
        });
    }
    if (appended == LockedAppend::failed) {
        // Strict mode, or a file this run may not write: a processor it
        // already holds can still be checked.
        std::string content;
        if (!read_whole(path, content)) {
            log_error(run, "The known-processors file %s cannot be read.\r\n", path);
            note_cause(run, Cause::known_processors_file, format_text("the known-processors file %s cannot be read", path));
            record_failure(run, RunCode::unusable);
            return Flow::end_now;
        }
        known = find_known_processor(content, host);
        remembered = known_protocol(content, host);
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
        // Also where a quiet run (-q) or a caller that keeps only standard
        // error sees it: a key taken on trust is worth a look.
        error_only(run, "%s: First contact with the processor at %s: its key %s is now recorded in %s.\n",
                   run.settings.program_name, host.c_str(), fingerprint.c_str(), path);
        report_identity(run, "new", fingerprint);
        return Flow::go_on;
    }
    if (same_fingerprint(known.fingerprint, fingerprint)) {
        if (seen == ProcessorProtocol::legacy && remembered == ProcessorProtocol::modern) {
            log_error(run, "The processor at %s spoke TLS 1.2 or better before (%s says so) and now speaks only "
                      "TLS 1.0: a downgrade, refused like a changed key. Nothing was sent. If the processor really "
                      "speaks only TLS 1.0 now, remove its lines from %s.\r\n",
                      host.c_str(), path, path);
            report_identity(run, "downgrade", fingerprint);
            note_cause(run, Cause::tls_downgrade,
                       format_text("the processor at %s spoke TLS 1.2 or better before (%s says so) and now speaks only "
                                   "TLS 1.0",
                                   host.c_str(), path));
            record_failure(run, RunCode::identity_refused);
            return Flow::end_now;
        }
        remember_protocol(path, host, fingerprint, seen, remembered);
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
