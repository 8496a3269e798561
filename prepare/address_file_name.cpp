#include "prepare/address_file_name.h"

void address_file_name(const char* address, char* name, size_t size)
{
    if (size == 0)
        return;
    size_t length = 0;
    for (; address[length] != '\0' && length + 1 < size; ++length) {
        char c = address[length];
        name[length] = c == '/' || c == '\\' ? '_' : c;
    }
    name[length] = '\0';
}
