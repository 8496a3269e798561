#include "driver/option_table.h"

#include <cctype>
#include <cstring>

// The usage text's lines keep their bytes as processors' consoles have
// always shown them, spelling and line ends included; -j and -q came later
// and are not among them.
const OptionSpec option_table[] = {
    {'s', "server", false, "-s [servername|ipaddress]|[:port]",
     "\t-s servername is the DNS name of target server.\r\n"
     "\t-s ipaddress is the IP Address of the target server.\r\n"
     "\t   If a port is not specified, the port will default to :443.\r\n"
     "\t\tDO NOT USE this switch if launching from Pelmora 7.\r\n\r\n"},
    {'l', "logfile", false, "-l [logfilename]",
     "\t-l logfilename is the name of the file to log all output to.\r\n"
     "\t   A default file with the server name/ipaddress is created\r\n"
     "\t   if this option is not specified.\r\n"
     "\t\tDO NOT USE this switch if launching from Pelmora 7.\r\n\r\n"},
    {'f', "script", false, "-f [input filename]",
     "\t-f input filename is the filename containing the MOX Commands\r\n\r\n"},
    {'v', nullptr, true, "-v",
     "\t-v Enables verbose message logging. By default, only errors and\r\n"
     "\t   responses from GET commands will be logged without the -v switch.\r\n\r\n"},
    {'c', nullptr, false, "-c",
     "\t-c Will cause QUORVEX to check for correct xml formatting, \r\n"
     "\t   but not open a connection to the management processor.\r\n\r\n"},
    {'u', "username", false, "-u [username]", "\t-u username \r\n"},
    {'p', "password", false, "-p [password]",
     "\t-p password  Command line user name and password override those\r\n"
     "\t   which are in the script file.\r\n\r\n"},
    {'t', "pairs", false, "-t [name1=value1,name2=value2...]",
     "\t-t namevaluepairs  Substitute variables (of the form %variable%) present in the input file\r\n"
     "\t   with values specified in \"namevaluepairs\".\r\n"
     "\t   seperate multiple namevaluepairs with a comma(,).\r\n"},
    {'j', "report", false, nullptr, nullptr},
    {'q', nullptr, false, nullptr, nullptr},
};

const size_t option_count = sizeof option_table / sizeof option_table[0];

const OptionSpec* find_option(const char* word)
{
    if (std::strlen(word) != 2 || (word[0] != '-' && word[0] != '/'))
        return nullptr;
    char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(word[1])));
    for (const OptionSpec& option : option_table) {
        if (option.letter == letter)
            return &option;
    }
    return nullptr;
}
