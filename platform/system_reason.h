// The system's own text for a failed Windows call (Windows only).
#pragma once

#include <string>

// The message Windows gives for error, without its closing line end and
// full stop; "error N" when it gives none.
std::string windows_error_text(unsigned long error);
