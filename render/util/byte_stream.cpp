#include "render/util/byte_stream.h"

#include <cstring>

namespace xr {

void ByteStream::skip_past(const char* end) {
    const size_t length = std::strlen(end);
    std::string last;
    for (int c = get(); c != -1; c = get()) {
        last += char(c);
        if (last.size() > length)
            last.erase(0, 1);
        if (last == end)
            return;
    }
}

} // namespace xr
