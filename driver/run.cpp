#include "driver/run.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "driver/command_line.h"
#include "driver/log_output.h"
#include "driver/run_settings.h"
#include "driver/run_state.h"
#include "link/connection.h"
#include "link/firmware_upload.h"
#include "link/http_exchange.h"
#include "link/image_transfer.h"
#include "link/stream_exchange.h"
#include "link/transfer_buffers.h"
#include "platform/exit_cleanup.h"
#include "platform/winsock.h"
#include "prepare/script_body_pass.h"
#include "script/lexer.h"
#include "script/parser.h"

namespace {

constexpr const char* PROGRAM_VERSION = "4.21";
constexpr const char* PROGRAM_DATE = "3/27/2015";
constexpr unsigned long CLOSING_PAUSE_MS = 1000;

void print_banner()
{
    printf("\r\nZQ Torvane Configuration Utility- QUORVEX v. %s dated %s\r\n", PROGRAM_VERSION, PROGRAM_DATE);
    printf("(C) Copyright 2015-2026 ZQ Torvane. Provided as is, without warranty of any kind.\r\n\r\n");
}

// Opens name for reading and writing, created or emptied.
FILE* open_log_file(const char* name)
{
    return fopen(name, "w+b");
}

// The log: the -l file, standard output for a check, else a file named after
// the server, falling back to standard output when it cannot be created.
void open_log_stream()
{
    if (settings.log_file_given) {
        run_state.log_stream = open_log_file(settings.log_file_name);
        if (!run_state.log_stream) {
            int error = errno;
            printf("Cannot open log file \"%s\"\r\n", settings.log_file_name);
            fprintf(stderr, "%s\n", strerror(error));
            exit(-1);
        }
        return;
    }
    if (settings.check_only) {
        run_state.log_stream = stdout;
        return;
    }
    char ipv6_name[IPV6_LOG_NAME_SIZE];
    const char* name = settings.server_address;
    if (settings.ipv6_server) {
        make_ipv6_log_name(ipv6_name);
        name = ipv6_name;
    }
    FILE* file = name[0] ? open_log_file(name) : nullptr;
    run_state.log_stream = file ? file : stdout;
}

void open_script_input()
{
    if (!settings.input_file_name) {
        log_error("Input file name was not specified.\r\n");
        print_usage(settings.program_name);
    }
    if (settings.use_working_copy) {
        run_state.script_input = fopen(settings.working_copy_name, "rb");
        if (!run_state.script_input) {
            log_error("Cannot open Variable Substituted input file \"%s\". Exiting.\r\n", settings.working_copy_name);
            fclose(run_state.log_stream);
            exit(-1);
        }
        return;
    }
    run_state.script_input = fopen(settings.input_file_name, "rb");
    if (!run_state.script_input) {
        log_error("Cannot open input file \"%s\". Exiting.\r\n", settings.input_file_name);
        fclose(run_state.log_stream);
        exit(-1);
    }
}

void log_server_address()
{
    if (settings.verbose)
        printf("IP Address is: %s\r\n", settings.server_address);
    fprintf(run_state.log_stream, "IP Address is: %s\r\n", settings.server_address);
}

// Stream mode: declaration, the wrapper line for newer command languages,
// then the script parsed again with every token going to the processor.
void run_stream_mode()
{
    SIO_connect();
    if (run_state.run_status != 0)
        return;
    plain_send("<?xml version=\"1.0\"?>\r\n");
    response_check(transfer_buffer, TRANSFER_BUFFER_SIZE);
    if (response_version.major >= 2 && response_version.minor >= 20) {
        char wrapper[80];
        snprintf(wrapper, sizeof wrapper, "<TAMRO VERSION=\"%s\">\r\n", PROGRAM_VERSION);
        plain_send(wrapper);
        response_check(transfer_buffer, TRANSFER_BUFFER_SIZE);
    }
    rewind(run_state.script_input);
    restart_lexer(run_state.script_input);
    // The first failure keeps its own code; a parse stopped for any other
    // reason fails the run with 1.
    if (parse_script() != 0 && run_state.run_status == 0)
        run_state.run_status = 1;
    // A received copy that no later command block wrote is written now.
    floppy_copy_flush();
}

// HTTP mode. Returns false when the reply could not be read: the run then
// goes straight to its closing report.
bool run_http_mode()
{
    int32_t body_length = 0;
    script_body_pass(false, body_length);
    if (run_state.run_status != 0)
        exit(-1);
    SIO_connect();
    if (run_state.run_status != 0)
        return true;
    if (firmware_reference.firmware_update_present) {
        // A refused upload reply: no request to read a reply to.
        if (firmware_upload(body_length) != 0)
            return true;
    } else {
        send_script_request_head(body_length);
        int32_t sent_length = 0;
        script_body_pass(true, sent_length);
    }
    if (reply_read_loop() != 0)
        return false;
    int failing = status_scan();
    if (failing != 0)
        run_state.run_status = failing;
    return true;
}

int closing_report()
{
    fclose(run_state.script_input);
    run_state.script_input = nullptr;
    if (settings.working_copy_name[0] != '\0' && remove(settings.working_copy_name) != 0) {
        write_both_line_end();
        log_info("Could not delete \"%s\"\r\n", settings.working_copy_name);
    }
    keep_at_exit();
    write_both_line_end();
    if (run_state.run_status == 0)
        log_info("Script succeeded on \"%s:%s\"\r\n", settings.server_address, settings.port_text);
    else
        log_info("Script Failed on \"%s:%s\"\r\n", settings.server_address, settings.port_text);
    fclose(run_state.log_stream);
    run_state.log_stream = nullptr;
    // The calling shell sees the low 8 bits only: a failure whose low byte is
    // zero (a processor status such as 0x0100) must not read as success.
    if (run_state.run_status != 0 && (run_state.run_status & 0xFF) == 0)
        return 1;
    return run_state.run_status;
}

}  // namespace

int run_quorvex(int argc, char** argv)
{
    print_banner();
    WSAData data{};
    int started = WSAStartup(WINSOCK_VERSION_2_2, &data);
    if (started != 0) {
        printf("WSAStartup failed: %d\n", started);
        return -1;
    }
    if (parse_command_line(argc, argv) == -1 && !settings.check_only)
        return -1;
    open_log_stream();
    open_script_input();

    run_state.checking_pass = true;
    printf("\r\n CHECKING XML SYNTAX...\r\n");
    if (parse_script() != 0) {
        printf("\r\n\r\nInvalid XML Syntax\r\n\r\n");
        run_state.run_status = -1;
        return closing_report();
    }
    printf("\r\n\r\nValid XML Syntax\r\n\r\n");
    if (settings.check_only)
        return closing_report();

    log_server_address();
    printf("Negotiated cipher: 168-bit Triple DES with RSA and a SHA1 MAC\r\n\r\n");

    run_state.checking_pass = false;
    run_state.processor_generation = generation_probe();
    bool release = true;
    if (run_state.processor_generation == -1 || run_state.processor_generation == 3)
        run_state.run_status = -1;
    else if (run_state.processor_generation == 0)
        run_stream_mode();
    else
        release = run_http_mode();

    if (release) {
        Sleep(CLOSING_PAUSE_MS);
        connection_teardown();
        WSACleanup();
    }
    return closing_report();
}
