#include "script/actions.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "records/bounded_copy.h"
#include "records/run_report.h"
#include "records/run_context.h"
#include "records/run_secrets.h"
#include "records/log_output.h"
#include "records/run_causes.h"
#include "script/token_trace.h"
#include "link/stream_exchange.h"
#include "script/script_reader.h"
#include "script/value_checks.h"

constexpr int VALUE_ERROR_SIZE = 1024;
constexpr int RESPONSE_READ_SIZE = ACTION_BUFFER_SIZE - 1;

// A failed response fails the run by itself; the parse goes on to the end
// of the script with every later send and read doing nothing.
static void check_response(ScriptReader& reader)
{
    static_cast<void>(reader.link_calls.response_check(reader.link, reader.action_buffer, RESPONSE_READ_SIZE));
}

// What a value must be, in the words of a failure: the values allowed.
constexpr const char* NUMBER_ALLOWED = "the value must be a number";
constexpr const char* INTEGER_ALLOWED = "the value must be a whole number";
constexpr const char* MODE_ALLOWED = "MODE must be read or write (or r, w)";
constexpr const char* BOOLEAN_ALLOWED = "the value must be yes or no (y, n, true, false, 1, 0)";
constexpr size_t QUOTED_VALUE_LIMIT = 80;

void report_value_error(ScriptReader& reader, const char* message, const char* allowed, const char* value)
{
    char text[VALUE_ERROR_SIZE];
    snprintf(text, sizeof text, "Parse error: Line #%d: %s", reader.lexer.line_counter, message);
    console_only_text(reader.run, text);
    report_error_line(reader.run, text);
    // The counter starts at 0 (the console's "Line #" keeps it); a person
    // counts from 1.
    int line_number = reader.lexer.line_counter + 1;
    std::string words = format_text("line %d: ", line_number);
    if (allowed == nullptr) {
        words += bounded_words(message, VALUE_ERROR_SIZE);
    } else {
        words += allowed;
        if (value != nullptr)
            words += ", not \"" + bounded_words(value, QUOTED_VALUE_LIMIT) + "\"";
    }
    note_cause(reader.run, Cause::script_value, words, line_number);
    check_response(reader);
}

// Reports the message and stops the parse when the value failed.
static int stop_unless(ScriptReader& reader, bool passed, const char* message, const char* allowed = nullptr,
                       const char* value = nullptr)
{
    if (passed)
        return 0;
    report_value_error(reader, message, allowed, value);
    return 1;
}

int number_check(ScriptReader& reader, const char* value)
{
    return stop_unless(reader, is_number(value), "Invalid Number\n", NUMBER_ALLOWED, value);
}

int integer_check(ScriptReader& reader, const char* value)
{
    return stop_unless(reader, is_integer(value), "Invalid Integer\n", INTEGER_ALLOWED, value);
}

int mode_check(ScriptReader& reader, const char* value)
{
    if (is_write_mode(value))
        report_write_mode(reader.run);
    return stop_unless(reader, is_mode(value), "Invalid Mode\n", MODE_ALLOWED, value);
}

// An invalid boolean is reported and the parse goes on; a word that is too
// long is reported as such and then judged as an empty one.
void boolean_check(ScriptReader& reader, const char* value)
{
    if (boolean_too_long(value)) {
        report_value_error(reader, "Invalid Boolean", BOOLEAN_ALLOWED, value);
        value = "";
    }
    if (!is_boolean(value))
        report_value_error(reader, "Invalid Boolean", BOOLEAN_ALLOWED, value);
}

void missing_boolean(ScriptReader& reader)
{
    report_value_error(reader, "Boolean value not specified.");
}

int user_name_check(ScriptReader& reader, const char* value)
{
    const char* problem = user_name_problem(value);
    return stop_unless(reader, problem == nullptr, problem);
}

// A password from the command line stands in for the script's own, so only
// the password that goes out is measured.
int password_check(ScriptReader& reader, const char* value)
{
    note_run_secret(reader.run, value);
    char override_password[LOGIN_FIELD_MAX + 1];
    const char* given = reader.link_calls.override_password(reader.link);
    if (given[0] != '\0') {
        copy_bounded(override_password, given);
        value = override_password;
    }
    const char* problem = password_problem(value);
    return stop_unless(reader, problem == nullptr, problem);
}

int hotkey_count_check(ScriptReader& reader, const char* value)
{
    return stop_unless(reader, hotkey_count_ok(value), "Invalid number for hotkeys. The maximum allowed is 5.\n");
}

void declaration_action(ScriptReader& reader)
{
    console_only_text(reader.run, "XML HEADER \n");
    check_response(reader);
}

// The action buffer holds what the declaration's response check read: the
// processor's answer, nothing in the checking pass.
void instruction_action(ScriptReader& reader)
{
    console_only(reader.run, "<s>...... %s\n", mask_run_secrets(reader.run, reader.action_buffer).c_str());
    console_only_text(reader.run, "XML HEADER\n");
    check_response(reader);
}

void root_opened(ScriptReader& reader)
{
    show_next_response_whole(reader.link);
    check_response(reader);
}

// Credentials from the command line go out in place of the script's own
// attributes, each by itself: the script's attribute that one replaces is
// read and checked with sending held back, the other goes out as written.
// The user name comes first: its override goes out at the start of the tag.
void login_started(ScriptReader& reader)
{
    reader.saved_checking_pass = reader.run.state.checking_pass;
    if (reader.link_calls.override_user_name(reader.link)[0] != '\0') {
        reader.link_calls.send_user_override(reader.link);
        reader.run.state.checking_pass = true;
    }
}

// The password's override, and the tag's '>', go out after the user name.
void login_user_read(ScriptReader& reader)
{
    reader.run.state.checking_pass = reader.saved_checking_pass;
    if (reader.link_calls.override_password(reader.link)[0] != '\0') {
        reader.link_calls.send_password_override(reader.link);
        reader.run.state.checking_pass = true;
    }
}

void login_opened(ScriptReader& reader)
{
    reader.run.state.checking_pass = reader.saved_checking_pass;
    check_response(reader);
}

void response_action(ScriptReader& reader)
{
    check_response(reader);
}

void block_closed(ScriptReader& reader)
{
    // A copy that cannot be written has failed the run itself; one held back
    // after a firmware image waits for the next block, with the run going on.
    static_cast<void>(reader.link_calls.floppy_image_write(reader.link));
    check_response(reader);
    check_response(reader);
}

// Whether the text of the given length begins with the prefix.
template <size_t SIZE>
static bool starts_with(const char* text, size_t length, const char (&prefix)[SIZE])
{
    return length >= SIZE - 1 && std::memcmp(text, prefix, SIZE - 1) == 0;
}

void name_action(ScriptReader& reader, const char* name)
{
    // The trace line "<s> NAME\n" is built around the upper-case name and
    // written at once.
    char trace[4 + ACTION_BUFFER_SIZE];
    std::memcpy(trace, "<s> ", 4);
    char* upper = trace + 4;
    size_t length = 0;
    for (; name[length] != '\0' && length < ACTION_BUFFER_SIZE - 1; ++length) {
        char c = name[length];
        upper[length] = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    }
    upper[length] = '\n';
    if (starts_with(upper, length, "GET") || starts_with(upper, length, "CERTIFICATE_SIGNING_REQUEST"))
        show_next_response_whole(reader.link);
    trace_text(reader.run, trace, length + 5);
}

int keep_image_location(ScriptReader& reader, const char* value)
{
    // Cut short, the path would name another file.
    if (std::strlen(value) >= sizeof reader.image_location) {
        report_value_error(reader, "Image location too long. Maximum length is 255 characters.\n");
        return 1;
    }
    copy_bounded(reader.image_location, value);
    return 0;
}

// An image command that fails stops the parse; otherwise its response is
// read like any other command's.
static int after_image_command(ScriptReader& reader, LinkResult result)
{
    if (result != LinkResult::ok)
        return 1;
    check_response(reader);
    return 0;
}

// The command's image location is used up by its transfer.
static int transfer_image(ScriptReader& reader, LinkResult (*transfer)(Link& link, const char* location))
{
    LinkResult result = transfer(reader.link, reader.image_location);
    std::memset(reader.image_location, 0, sizeof reader.image_location);
    return after_image_command(reader, result);
}

int firmware_action(ScriptReader& reader)
{
    return transfer_image(reader, reader.link_calls.firmware_image_transfer);
}

int floppy_insert_action(ScriptReader& reader)
{
    return transfer_image(reader, reader.link_calls.floppy_image_insert);
}

int floppy_copy_action(ScriptReader& reader)
{
    return transfer_image(reader, reader.link_calls.floppy_image_copy);
}
