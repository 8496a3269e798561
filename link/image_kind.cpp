#include "link/image_kind.h"

#include "records/log_output.h"

std::string image_element(const ImageKind& kind, const char* path, long length)
{
    return format_text("\r\n<%s IMAGE_LOCATION=\"%s\" IMAGE_LENGTH=\"%ld\"/>\r\n", kind.element, path, length);
}
