// The script reader: everything one reading of a script needs, the scanner
// and where it stands, the line bookkeeping of the messages, the actions'
// buffers and the link calls. The run makes one and hands it to every parse
// of its script; two readers share nothing, so a test or a harness can read
// several scripts side by side.
#pragma once

#include <cstdio>

#include "link/image_transfer.h"
#include "script/actions.h"
#include "script/lexer.h"
#include "script/link_calls.h"

struct RunContext;

struct ScriptReader {
    // Reads input (which stays the caller's to close) through the given
    // link calls, on link (which must outlive the reader).
    ScriptReader(FILE* input, Link& link, const ScriptLinkCalls& calls = script_link_calls_default);
    ~ScriptReader();
    ScriptReader(const ScriptReader&) = delete;
    ScriptReader& operator=(const ScriptReader&) = delete;

    // The script, read from its current position when a scan starts.
    FILE* input;
    // The link the calls work on: the run's.
    Link& link;
    // The run the script is read for: its state, console and report.
    RunContext& run;
    ScriptLinkCalls link_calls;
    LexerState lexer;
    ScannerState scan;
    // What the last response check read (the instruction's trace shows it).
    char action_buffer[ACTION_BUFFER_SIZE] = "";
    // IMAGE_LOCATION value of the current image command, at most 255
    // characters.
    char image_location[IMAGE_LOCATION_SIZE] = "";
    // The checking pass flag as it was when the current LOGIN element began.
    bool saved_checking_pass = false;
};
