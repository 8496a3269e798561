#include "script/script_reader.h"

ScriptReader::ScriptReader(FILE* input, Link& link, const ScriptLinkCalls& calls)
    : input(input), link(link), link_calls(calls)
{
}

ScriptReader::~ScriptReader()
{
    reset_lexer(*this);
}
