// The Windows side (private_file.cpp is the POSIX one).
#ifdef _WIN32

#include "platform/private_file.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include "platform/winsock.h"

FILE* create_private_file(const char* name)
{
    // A new file gets the access list its folder passes on: Windows has no
    // owner-only mode bits, the mode only decides that it is not read-only.
    // Binary: the bytes go out as they are.
    int descriptor = _open(name, _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
    if (descriptor < 0)
        return nullptr;
    FILE* file = _fdopen(descriptor, "wb");
    if (file == nullptr)
        _close(descriptor);
    return file;
}

FILE* open_private_file(const char* name)
{
    HANDLE handle = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
    if (descriptor < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    FILE* file = _fdopen(descriptor, "rb");
    if (file == nullptr)
        _close(descriptor);
    return file;
}

#endif
