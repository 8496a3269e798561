// The run settings: what the command line (or the environment) asked for.
// Filled once by the command-line parser; read everywhere else.
#pragma once

constexpr int PROGRAM_NAME_SIZE = 256;
constexpr int SERVER_ADDRESS_MAX = 50;
constexpr int PORT_TEXT_MAX = 5;
constexpr int WORKING_COPY_NAME_SIZE = 256;

struct RunSettings {
    char program_name[PROGRAM_NAME_SIZE] = "";
    char server_address[SERVER_ADDRESS_MAX + 1] = "localhost";
    char port_text[32] = "";
    bool ipv6_server = false;
    const char* log_file_name = nullptr;
    bool log_file_given = false;
    const char* input_file_name = nullptr;
    const char* user_name = "";
    const char* password = "";
    bool verbose = false;
    bool check_only = false;
    bool use_working_copy = false;
    char working_copy_name[WORKING_COPY_NAME_SIZE] = "";
};

extern RunSettings settings;
