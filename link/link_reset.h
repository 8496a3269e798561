// Puts every record of the processor link back to its start: no
// connection, empty buffers and stores, no transfer pending.
#pragma once

void reset_link();
