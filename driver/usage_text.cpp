#include <cstdio>

#include "driver/command_line.h"

void print_usage(const char* program_name)
{
    printf("Usage\n%s -s [servername|ipaddress]|[:port] -l [logfilename] -f [input filename] -v -c -u [username] -p [password] -t [name1=value1,name2=value2...]\r\n",
           program_name);
    printf("Where:\n");
    printf("\t-s servername is the DNS name of target server.\r\n");
    printf("\t-s ipaddress is the IP Address of the target server.\r\n");
    printf("\t   If a port is not specified, the port will default to :443.\r\n");
    printf("\t\tDO NOT USE this switch if launching from Pelmora 7.\r\n\r\n");
    printf("\t-l logfilename is the name of the file to log all output to.\r\n");
    printf("\t   A default file with the server name/ipaddress is created\r\n");
    printf("\t   if this option is not specified.\r\n");
    printf("\t\tDO NOT USE this switch if launching from Pelmora 7.\r\n\r\n");
    printf("\t-f input filename is the filename containing the MOX Commands\r\n\r\n");
    printf("\t-v Enables verbose message logging. By default, only errors and\r\n");
    printf("\t   responses from GET commands will be logged without the -v switch.\r\n\r\n");
    printf("\t-c Will cause QUORVEX to check for correct xml formatting, \r\n");
    printf("\t   but not open a connection to the management processor.\r\n\r\n");
    printf("\t-u username \r\n");
    printf("\t-p password  Command line user name and password override those\r\n");
    printf("\t   which are in the script file.\r\n\r\n");
    printf("\t-t namevaluepairs  Substitute variables (of the form %%variable%%) present in the input file\r\n");
    printf("\t   with values specified in \"namevaluepairs\".\r\n");
    printf("\t   seperate multiple namevaluepairs with a comma(,).\r\n");
}
