// The -t list and the substitution of a script into its working copy.
// Input: the pair list, a zero byte, the script.
#include "fuzz/harness.h"

#include <cstring>

#include <sys/stat.h>

#include <fstream>
#include <iterator>

#include "records/run_context.h"
#include "prepare/substitution.h"

namespace {

std::string file_text(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    RunContext& run = harness_new_run().run;
    FuzzInput input(data, size);
    std::string pairs = input.take_text();
    std::string script = input.rest();

    if (!parse_name_value_pairs(run, pairs.c_str()))
        return 0;
    FUZZ_REQUIRE(run.variables.var_count >= 0 && run.variables.var_count <= MAX_VARIABLES);
    for (int slot = 0; slot < run.variables.var_count; ++slot) {
        FUZZ_REQUIRE(std::strlen(run.variables.var_names[slot]) <= MAX_VARIABLE_NAME + 1u + MAX_PAIR_LIST);
        FUZZ_REQUIRE(std::strlen(run.variables.var_values[slot]) <= static_cast<size_t>(MAX_VARIABLE_VALUE));
    }

    {
        std::ofstream out("script.xml", std::ios::binary | std::ios::trunc);
        out << script;
    }
    std::snprintf(run.settings.server_address, sizeof run.settings.server_address, "mp1");
    run.settings.input_file_name = "script.xml";
    bool complete = substitute_variables(run) == CopyOutcome::written;
    FUZZ_REQUIRE(std::strcmp(run.settings.working_copy_name, "mp1-var.xml") == 0);
    struct stat status {};
    FUZZ_REQUIRE(stat("mp1-var.xml", &status) == 0);
    // The copy may carry secrets: its owner alone may read it.
    FUZZ_REQUIRE((status.st_mode & 077) == 0, "mode %o", status.st_mode & 0777);
    std::string copy = file_text("mp1-var.xml");
    if (complete && script.find('%') == std::string::npos)
        FUZZ_REQUIRE(copy == script, "a script without placeholders is copied as it is");
    // Every byte of the copy comes from the script or from a value.
    size_t longest = script.size() + script.size() / 2 * MAX_VARIABLES * MAX_VARIABLE_VALUE;
    FUZZ_REQUIRE(copy.size() <= longest);
    std::remove("mp1-var.xml");
    return 0;
}
