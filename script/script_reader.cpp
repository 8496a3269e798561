#include "script/script_reader.h"

#include "link/link.h"

ScriptReader::ScriptReader(FILE* input, Link& link, const ScriptLinkCalls& calls)
    : input(input), link(link), run(link.run), link_calls(calls)
{
}

ScriptReader::~ScriptReader()
{
    reset_lexer(*this);
}
