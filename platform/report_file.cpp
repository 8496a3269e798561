// The run report's names and writes, the same on every system; the
// system's calls are in report_write.
#include "platform/report_file.h"

#include <cstring>

#include "platform/report_write.h"
#include "records/run_slots.h"

namespace {

constexpr size_t NAME_SIZE = 4096;
// Each slot's report names, made before its run so that a signal handler
// (which reaches nothing else) can write or drop the report.
struct ReportNames {
    char final_name[NAME_SIZE];
    char end_temporary[NAME_SIZE];
    char signal_temporary[NAME_SIZE];
};
ReportNames names[RUN_SLOTS];

// The slot's names, or nullptr for a slot that is none.
ReportNames* slot_names(int slot)
{
    return slot >= 0 && slot < RUN_SLOTS ? &names[slot] : nullptr;
}

// name + ".<pid>" + suffix into field, by hand (no snprintf in a handler's reach).
bool make_temporary_name(char* field, const char* name, const char* suffix)
{
    char digits[24];
    size_t count = 0;
    unsigned long pid = process_number();
    do {
        digits[count++] = static_cast<char>('0' + pid % 10);
        pid /= 10;
    } while (pid > 0);
    size_t name_length = std::strlen(name);
    size_t suffix_length = std::strlen(suffix);
    if (name_length + 1 + count + suffix_length + 1 > NAME_SIZE)
        return false;
    std::memcpy(field, name, name_length);
    size_t at = name_length;
    field[at++] = '.';
    while (count > 0)
        field[at++] = digits[--count];
    std::memcpy(field + at, suffix, suffix_length + 1);
    return true;
}

}  // namespace

bool prepare_report_file(int slot, const char* name)
{
    ReportNames* slot_report = slot_names(slot);
    if (slot_report == nullptr)
        return false;
    slot_report->final_name[0] = '\0';
    if (std::strlen(name) >= NAME_SIZE)
        return false;
    if (!make_temporary_name(slot_report->end_temporary, name, ".tmp") ||
        !make_temporary_name(slot_report->signal_temporary, name, ".signal.tmp"))
        return false;
    std::memcpy(slot_report->final_name, name, std::strlen(name) + 1);
    return true;
}

bool write_report_file(int slot, const char* data, size_t length)
{
    ReportNames* slot_report = slot_names(slot);
    return slot_report != nullptr && slot_report->final_name[0] != '\0' &&
           write_then_rename(slot_report->end_temporary, slot_report->final_name, data, length);
}

bool write_report_file_now(int slot, const char* data, size_t length)
{
    ReportNames* slot_report = slot_names(slot);
    return slot_report != nullptr && slot_report->final_name[0] != '\0' &&
           write_then_rename(slot_report->signal_temporary, slot_report->final_name, data, length);
}

void discard_report_temporary(int slot)
{
    ReportNames* slot_report = slot_names(slot);
    if (slot_report != nullptr && slot_report->final_name[0] != '\0')
        remove_file_now(slot_report->end_temporary);
}
