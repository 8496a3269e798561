#include "link/http_request.h"

#include <cstdio>

#include "records/log_output.h"
#include "link/link.h"
#include "platform/winsock.h"

void take_client_host_name(Link& link)
{
    char (&client_host_name)[CLIENT_HOST_NAME_SIZE] = link.client_host_name;
    if (gethostname(client_host_name, sizeof client_host_name) != 0)
        std::snprintf(client_host_name, sizeof client_host_name, "localhost");
    client_host_name[sizeof client_host_name - 1] = '\0';
}

std::string script_request_head(const Link& link, int body_length)
{
    return format_text("POST /moxcl HTTP/1.1\r\nHOST: %s\r\nTE: chunked\r\nConnection: Close\r\nContent-length: %d\r\n\r\n",
                       link.client_host_name, body_length);
}
