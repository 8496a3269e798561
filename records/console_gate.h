// The quiet console (-q): standard output goes nowhere, and the messages a
// person needs (errors, the processor's error answers, answers that carry
// data, the closing line) reach the console kept aside. The log is not
// affected.
#pragma once

#include <cstdio>

// The console kept aside under -q; nullptr when the console is not quiet.
extern FILE* quiet_console;

// Where a message goes on the console: standard output, or under -q the
// kept console when the message is wanted (an error, or written while a
// ConsolePass is alive), else standard output that goes nowhere.
FILE* console_for(bool error);

// Messages written while one is alive are wanted on a quiet console.
class ConsolePass {
public:
    ConsolePass();
    ~ConsolePass();
    ConsolePass(const ConsolePass&) = delete;
    ConsolePass& operator=(const ConsolePass&) = delete;
};
