#include "script/script_reader.h"

ScriptReader::ScriptReader(FILE* input, const ScriptLinkCalls& calls) : input(input), link_calls(calls) {}

ScriptReader::~ScriptReader()
{
    reset_lexer(*this);
}
