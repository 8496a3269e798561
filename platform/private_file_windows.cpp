// The Windows side (private_file.cpp is the POSIX one).
#ifdef _WIN32

#include "platform/private_file.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <io.h>

#include <string>
#include <vector>

#include "platform/system_reason.h"
#include "platform/winsock.h"

namespace {

// A security descriptor whose access list lets the user who runs this
// process, and nobody else, at the file. It is protected: the folder's
// access list is not inherited, the way a mode of 0600 keeps a POSIX
// folder's readers out.
class OwnerOnly {
public:
    OwnerOnly()
    {
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
            return;
        DWORD size = 0;
        GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        user_.resize(size);
        bool known = size > 0 && GetTokenInformation(token, TokenUser, user_.data(), size, &size);
        CloseHandle(token);
        if (!known)
            return;
        PSID user = reinterpret_cast<TOKEN_USER*>(user_.data())->User.Sid;
        acl_.resize(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(user));
        ready_ = InitializeAcl(acl(), static_cast<DWORD>(acl_.size()), ACL_REVISION) &&
                 AddAccessAllowedAce(acl(), ACL_REVISION, FILE_ALL_ACCESS, user) &&
                 InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) &&
                 SetSecurityDescriptorDacl(&descriptor_, TRUE, acl(), FALSE) &&
                 SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
        attributes_.nLength = sizeof attributes_;
        attributes_.lpSecurityDescriptor = &descriptor_;
        attributes_.bInheritHandle = FALSE;
    }
    bool ready() const { return ready_; }
    SECURITY_ATTRIBUTES* attributes() { return &attributes_; }

private:
    ACL* acl() { return reinterpret_cast<ACL*>(acl_.data()); }

    bool ready_ = false;
    std::vector<unsigned char> user_;
    std::vector<unsigned char> acl_;
    SECURITY_DESCRIPTOR descriptor_{};
    SECURITY_ATTRIBUTES attributes_{};
};

// A C stream over handle, which then belongs to the stream; nullptr, with
// the handle closed, when none can be made.
FILE* stream_over(HANDLE handle, int flags, const char* mode)
{
    int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags);
    if (descriptor < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    FILE* file = _fdopen(descriptor, mode);
    if (file == nullptr)
        _close(descriptor);
    return file;
}

}  // namespace

// The reason for the last failed Windows call, as text.
static std::string system_reason()
{
    return windows_error_text(GetLastError());
}

// The handle leads to a reparse point (a symbolic link, a junction).
static bool is_reparse_point(HANDLE handle)
{
    BY_HANDLE_FILE_INFORMATION information{};
    return !GetFileInformationByHandle(handle, &information) ||
           (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

FILE* create_private_file(const char* name, std::string& reason)
{
    OwnerOnly owner_only;
    if (!owner_only.ready()) {
        reason = system_reason();
        return nullptr;
    }
    // A file left from before would keep its own list through any open: it
    // goes, and a new one with the owner-only list takes its place; a link
    // or a folder of that name is refused. Should anything stand in the way
    // (a file someone else holds open, or created in between), nothing is
    // written. The sharing lets Ctrl-C delete the file while it is written.
    DWORD attributes = GetFileAttributesA(name);
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if ((attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
            reason = "it exists and is not a regular file (a link, a folder)";
            return nullptr;
        }
        DeleteFileA(name);
    }
    HANDLE handle = CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                owner_only.attributes(), CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        reason = system_reason();
        return nullptr;
    }
    // Binary: the bytes go out as they are.
    FILE* file = stream_over(handle, _O_WRONLY | _O_BINARY, "wb");
    if (file == nullptr)
        reason = "no stream could be made over the file";
    return file;
}

FILE* open_private_file(const char* name)
{
    HANDLE handle = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    if (is_reparse_point(handle)) {
        CloseHandle(handle);
        return nullptr;
    }
    return stream_over(handle, _O_RDONLY | _O_BINARY, "rb");
}

FILE* open_log_output(const char* name, bool follow_links)
{
    // A name the user gave is opened as it always was.
    if (follow_links)
        return std::fopen(name, "w+b");
    DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
    HANDLE handle = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_ALWAYS, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        errno = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ENOENT : EACCES;
        return nullptr;
    }
    if (is_reparse_point(handle) || !SetEndOfFile(handle)) {
        CloseHandle(handle);
        errno = EACCES;
        return nullptr;
    }
    return stream_over(handle, _O_RDWR | _O_BINARY, "w+b");
}

#endif
