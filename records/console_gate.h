// The run's console: standard output and standard error unless whoever
// starts the run gives streams of its own. Under -q the console keeps what a
// person needs (errors, the processor's error answers, answers that carry
// data, the closing line) and the rest goes nowhere. The log is not affected.
#pragma once

#include <cstdio>

struct RunConsole {
    FILE* out = stdout;
    FILE* errors = stderr;
    // Under -q: the console the wanted messages reach; nullptr when the
    // console is not quiet.
    FILE* kept = nullptr;
    // ConsolePass objects alive.
    int passes = 0;
};

// Where a message goes on the console: its standard output, or under -q
// the kept console when the message is wanted (an error, or written while
// a ConsolePass is alive), else nowhere (nullptr).
FILE* console_for(RunConsole& console, bool error);

// Messages written while one is alive are wanted on a quiet console.
class ConsolePass {
public:
    explicit ConsolePass(RunConsole& console) : console_(console) { ++console_.passes; }
    ~ConsolePass() { --console_.passes; }
    ConsolePass(const ConsolePass&) = delete;
    ConsolePass& operator=(const ConsolePass&) = delete;

private:
    RunConsole& console_;
};
