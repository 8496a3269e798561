// What several unit tests need alike: the whole text of a stream or a file,
// and a program started in a process of its own with its output sent
// nowhere.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

// Everything written to stream so far, from its start.
inline std::string stream_text(FILE* stream)
{
    std::fflush(stream);
    std::rewind(stream);
    std::string text;
    char piece[4096];
    for (size_t got; (got = std::fread(piece, 1, sizeof piece, stream)) > 0;)
        text.append(piece, got);
    return text;
}

inline std::string file_text(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Starts program with the arguments words (words[0] its name), standard
// output (and with errors_too standard error) going to /dev/null; its
// process number, or -1 when it could not be started.
inline pid_t spawn_quiet(const char* program, std::vector<std::string> words, bool errors_too)
{
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    if (errors_too)
        posix_spawn_file_actions_addopen(&quiet, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    int spawned = posix_spawn(&pid, program, &quiet, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&quiet);
    return spawned == 0 ? pid : -1;
}
