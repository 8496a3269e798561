#include "prepare/substitution.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "records/run_settings.h"
#include "platform/exit_cleanup.h"
#include "platform/file_identity.h"
#include "platform/private_file.h"
#include "prepare/address_file_name.h"

VariableTable variables;

namespace {

// One "name=value" field into slot; false when it is not a proper pair.
bool take_pair(const char* field, int slot)
{
    size_t size = strlen(field) + 1;
    char* name = static_cast<char*>(calloc(size, 1));
    char* value = static_cast<char*>(calloc(size, 1));
    if (!name || !value) {
        free(name);
        free(value);
        printf("Not properly formed Name and Value Pairs.");
        return false;
    }
    variables.var_names[slot] = name;
    variables.var_values[slot] = value;
    size_t name_length = 0;
    size_t value_length = 0;
    bool seen_equals = false;
    for (const char* c = field; *c; ++c) {
        if (*c == '=') {
            if (seen_equals)
                return false;
            seen_equals = true;
            if (name_length > static_cast<size_t>(MAX_VARIABLE_NAME)) {
                printf("ERROR: Maximum Length of variable name is %d\n", MAX_VARIABLE_NAME);
                return false;
            }
            continue;
        }
        if (!seen_equals) {
            name[name_length++] = *c;
        } else {
            if (value_length >= static_cast<size_t>(MAX_VARIABLE_VALUE)) {
                printf("ERROR: Maximum Length of Substitute Value is %d\n", MAX_VARIABLE_VALUE);
                return false;
            }
            value[value_length++] = *c;
        }
    }
    return seen_equals;
}

void write_matching_values(const char* name, FILE* out)
{
    for (int slot = 0; slot < MAX_VARIABLES; ++slot) {
        const char* candidate = variables.var_names[slot];
        if (candidate && strcmp(candidate, name) == 0)
            fputs(variables.var_values[slot], out);
    }
}

}  // namespace

void reset_variables()
{
    for (int slot = 0; slot < MAX_VARIABLES; ++slot) {
        free(variables.var_names[slot]);
        free(variables.var_values[slot]);
        variables.var_names[slot] = nullptr;
        variables.var_values[slot] = nullptr;
    }
    variables.var_count = 0;
}

bool parse_name_value_pairs(const char* pair_list)
{
    reset_variables();
    if (strlen(pair_list) > static_cast<size_t>(MAX_PAIR_LIST)) {
        printf("ERROR: Maximum Length of the name and value pair list is %d\n", MAX_PAIR_LIST);
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
            printf("ERROR: Number of variables have exceeded the limit of %d\n", MAX_VARIABLES);
            return false;
        }
        if (!take_pair(field, stored))
            return false;
        ++stored;
    }
    variables.var_count = stored;
    return true;
}

bool substitute_variables()
{
    FILE* in = fopen(settings.input_file_name, "rb");
    if (!in) {
        printf("Cannot open input file \"%s\". Exiting.\r\n", settings.input_file_name);
        return false;
    }
    char address[sizeof settings.server_address];
    address_file_name(settings.server_address, address, sizeof address);
    char name[WORKING_COPY_NAME_SIZE];
    snprintf(name, sizeof name, "%s-var.xml", address);
    // A script that carries the working copy's own name would be emptied
    // before it is read: leave it alone and run it as it is.
    if (same_file(name, settings.input_file_name)) {
        printf("The input file \"%s\" has the name of its own variable substituted copy; it is used without substitution.\r\n",
               settings.input_file_name);
        fclose(in);
        return false;
    }
    memcpy(settings.working_copy_name, name, sizeof name);
    // The copy carries every substituted value (passwords among them): only
    // its owner may read it, and it goes however the run ends.
    remove_at_process_end(settings.working_copy_name);
    FILE* out = create_private_file(settings.working_copy_name);
    if (!out) {
        fclose(in);
        return false;
    }

    char variable[MAX_VARIABLE_NAME + 1];
    int c;
    bool ok = true;
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
                printf("The variable Length exceeded the maximum length of %d.", MAX_VARIABLE_NAME);
                ok = false;
                break;
            }
            variable[length++] = static_cast<char>(c);
        }
        if (!ok)
            break;
        if (!closed) {
            printf("Proper variable is not found");
            break;
        }
        variable[length] = '\0';
        write_matching_values(variable, out);
    }
    fclose(in);
    fclose(out);
    return ok;
}
