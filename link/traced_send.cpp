#include "link/traced_send.h"

#include <cstring>

#include "driver/log_output.h"
#include "driver/run_settings.h"
#include "driver/run_state.h"
#include "link/tls_io.h"
#include "platform/winsock.h"

int plain_send_traced_as(const char* text, const char* trace_text)
{
    if (run_state.run_status != 0)
        return run_state.run_status;
    int written = tls_write(text, static_cast<int>(std::strlen(text)));
    if (written < 0) {
        log_error("SSL_write:Connection Terminated:reason(%d).\r\n", WSAGetLastError());
        run_state.run_status = 6;
        return 6;
    }
    if (settings.verbose && written > 0)
        log_info("Sending (%d):\r\n%s\r\n", written, trace_text);
    return 0;
}
