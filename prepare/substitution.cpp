#include "prepare/substitution.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "records/run_context.h"
#include "records/bounded_copy.h"
#include "records/log_output.h"
#include "records/run_limits.h"
#include "platform/exit_cleanup.h"
#include "platform/file_identity.h"
#include "platform/private_file.h"
#include "prepare/address_file_name.h"

namespace {

// One "name=value" field into slot; false when it is not a proper pair.
bool take_pair(RunContext& run, const char* field, int slot)
{
    size_t size = strlen(field) + 1;
    char* name = static_cast<char*>(calloc(size, 1));
    char* value = static_cast<char*>(calloc(size, 1));
    if (!name || !value) {
        free(name);
        free(value);
        console_only(run, "Not properly formed Name and Value Pairs.");
        return false;
    }
    run.variables.var_names[slot] = name;
    run.variables.var_values[slot] = value;
    size_t name_length = 0;
    size_t value_length = 0;
    bool seen_equals = false;
    for (const char* c = field; *c; ++c) {
        if (*c == '=') {
            if (seen_equals)
                return false;
            seen_equals = true;
            if (name_length > static_cast<size_t>(MAX_VARIABLE_NAME)) {
                console_only(run, "ERROR: Maximum Length of variable name is %d\n", MAX_VARIABLE_NAME);
                return false;
            }
            continue;
        }
        if (!seen_equals) {
            name[name_length++] = *c;
        } else {
            if (value_length >= static_cast<size_t>(MAX_VARIABLE_VALUE)) {
                console_only(run, "ERROR: Maximum Length of Substitute Value is %d\n", MAX_VARIABLE_VALUE);
                return false;
            }
            value[value_length++] = *c;
        }
    }
    return seen_equals;
}

// Writes the value(s) given for name; false when -t gave it none.
bool write_matching_values(const VariableTable& variables, const char* name, FILE* out)
{
    bool found = false;
    for (int slot = 0; slot < MAX_VARIABLES; ++slot) {
        const char* candidate = variables.var_names[slot];
        if (candidate && strcmp(candidate, name) == 0) {
            fputs(variables.var_values[slot], out);
            found = true;
        }
    }
    return found;
}

// "%name%" added to a list of names, once.
void add_name_once(std::string& list, const std::string& name)
{
    std::string placeholder = "%" + name + "%";
    if ((", " + list + ", ").find(", " + placeholder + ", ") != std::string::npos)
        return;
    if (!list.empty())
        list += ", ";
    list += placeholder;
}

bool is_placeholder_name_char(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
           c == '.';
}

// At most this many names are listed; the list then ends with "...".
constexpr int NAMES_LISTED = 25;

}  // namespace

bool parse_name_value_pairs(RunContext& run, const char* pair_list)
{
    VariableTable& variables = run.variables;
    variables.clear();
    if (strlen(pair_list) > static_cast<size_t>(MAX_PAIR_LIST)) {
        console_only(run, "ERROR: Maximum Length of the name and value pair list is %d\n", MAX_PAIR_LIST);
        return false;
    }
    char temp1[MAX_PAIR_LIST + 1];
    strcpy(temp1, pair_list);

    int stored = 0;
    // The fields between commas, empty ones skipped.
    char* rest = temp1;
    while (rest != nullptr) {
        char* field = rest;
        char* comma = strchr(rest, ',');
        rest = comma ? comma + 1 : nullptr;
        if (comma)
            *comma = '\0';
        if (*field == '\0')
            continue;
        if (stored == MAX_VARIABLES) {
            variables.var_count = stored;
            console_only(run, "ERROR: Number of variables have exceeded the limit of %d\n", MAX_VARIABLES);
            return false;
        }
        if (!take_pair(run, field, stored))
            return false;
        ++stored;
    }
    variables.var_count = stored;
    return true;
}

void PlaceholderScan::scan(const char* text, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        // Outside a placeholder only a '%' matters: the text up to the next
        // one is passed over at once (most scripts hold none).
        if (!inside_) {
            const void* percent = memchr(text + i, '%', length - i);
            if (percent == nullptr)
                return;
            i = static_cast<size_t>(static_cast<const char*>(percent) - text);
        }
        char c = text[i];
        if (c == '%') {
            if (inside_ && !current_.empty()) {
                if (count_ < NAMES_LISTED) {
                    size_t before = names_.size();
                    add_name_once(names_, current_);
                    count_ += names_.size() != before;
                } else if (count_ == NAMES_LISTED) {
                    names_ += ", ...";
                    ++count_;
                }
                inside_ = false;
            } else {
                inside_ = true;  // an opening, also the second of "%%"
            }
            current_.clear();
        } else if (inside_ && is_placeholder_name_char(c) && current_.size() < static_cast<size_t>(MAX_VARIABLE_NAME)) {
            current_ += c;
        } else {
            inside_ = false;
        }
    }
}

CopyOutcome substitute_variables(RunContext& run)
{
    FILE* in = fopen(run.settings.input_file_name, "rb");
    if (!in) {
        console_only(run, "Cannot open input file \"%s\". Exiting.\r\n", run.settings.input_file_name);
        return CopyOutcome::not_written;
    }
    char address[sizeof run.settings.server_address];
    address_file_name(run.settings.server_address, address, sizeof address);
    char name[WORKING_COPY_NAME_SIZE];
    std::string path = in_run_folder(run.settings, (std::string(address) + "-var.xml").c_str());
    if (path.size() >= sizeof name) {
        fclose(in);
        console_only(run, "ERROR: Cannot create the variable substituted copy \"%s\": the name is too long. Nothing was sent.\r\n",
                     path.c_str());
        return CopyOutcome::refused;
    }
    copy_bounded(name, path.c_str());
    // A script that carries the working copy's own name would be emptied
    // before it is read: leave it alone and run it as it is.
    if (same_file(name, run.settings.input_file_name)) {
        console_only(run, "The input file \"%s\" has the name of its own variable substituted copy; it is used without substitution.\r\n",
                     run.settings.input_file_name);
        fclose(in);
        return CopyOutcome::not_written;
    }
    // The copy carries every substituted value (passwords among them): only
    // its owner may read it, it is never written through a link, and it goes
    // however the run ends. What cannot be made refuses the run: the script
    // as it is would go out with its placeholders.
    std::string reason;
    make_run_folder(run.settings);
    FILE* out = create_private_file(name, reason);
    if (!out) {
        fclose(in);
        console_only(run, "ERROR: Cannot create the variable substituted copy \"%s\": %s. Nothing was sent.\r\n", name,
                     reason.c_str());
        return CopyOutcome::refused;
    }
    memcpy(run.settings.working_copy_name, name, sizeof name);
    remove_at_process_end(run.state.slot, run.settings.working_copy_name);
    errno = 0;  // what a failed write sets is its reason

    char variable[MAX_VARIABLE_NAME + 1];
    int c;
    bool ok = true;
    std::string without_value;
    int names_without_value = 0;
    while ((c = getc(in)) != EOF) {
        if (c != '%') {
            putc(c, out);
            continue;
        }
        size_t length = 0;
        bool closed = false;
        while ((c = getc(in)) != EOF) {
            if (c == '%') {
                closed = true;
                break;
            }
            if (length == static_cast<size_t>(MAX_VARIABLE_NAME)) {
                console_only(run, "The variable Length exceeded the maximum length of %d.", MAX_VARIABLE_NAME);
                ok = false;
                break;
            }
            variable[length++] = static_cast<char>(c);
        }
        if (!ok)
            break;
        if (!closed) {
            console_only(run, "Proper variable is not found");
            break;
        }
        variable[length] = '\0';
        // "%%" is no placeholder: it stays what it always was.
        if (!write_matching_values(run.variables, variable, out) && length > 0 && names_without_value <= NAMES_LISTED) {
            size_t before = without_value.size();
            if (names_without_value < NAMES_LISTED)
                add_name_once(without_value, variable);
            else
                without_value += ", ...";
            names_without_value += without_value.size() != before;
        }
    }
    fclose(in);
    // A copy cut short (a full disk) would be read as a broken script, or
    // worse, as a shorter one.
    bool written = !ferror(out);
    int error = errno;
    if (fclose(out) != 0 && written) {
        written = false;
        error = errno;
    }
    if (!written) {
        console_only(run, "ERROR: Cannot write the variable substituted copy \"%s\": %s. Nothing was sent.\r\n", name,
                     error != 0 ? strerror(error) : "a write failed");
        return CopyOutcome::refused;
    }
    // A typo in -t would otherwise send an empty value (a password) and
    // succeed.
    if (!without_value.empty()) {
        console_only(run, "ERROR: No value given with -t for %s. Nothing was sent.\r\n", without_value.c_str());
        return CopyOutcome::refused;
    }
    return ok ? CopyOutcome::written : CopyOutcome::not_written;
}
