#include "records/firmware_reference.h"

FirmwareReference firmware_reference;
