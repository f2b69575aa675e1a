#include "render/setup/archive_check.h"

#include "render/util/regular_file.h"
#include "render/util/system_memory.h"
#include "render/util/text.h"

#include <minizip/unzip.h>

#include <cstring>
#include <memory>
#include <stdexcept>

namespace xr {

namespace {

// The inflated file, and the parser's copy of it and its own.
constexpr double copies_while_parsing = 3;

bool is_zip_archive(const std::string& path) {
    uint8_t head[4] = {};
    return open_to_read(path).read_into(head, sizeof head) == sizeof head &&
           std::memcmp(head, "PK\x03\x04", 4) == 0;
}

} // namespace

void check_archive_file(const std::string& path) {
    if (!is_zip_archive(path))
        return;
    // The reader the importer uses, so that the sizes are those it goes by.
    const std::unique_ptr<void, int (*)(unzFile)> zip(unzOpen64(path.c_str()), unzClose);
    if (!zip)
        return;
    double inflated = 0;
    for (int at = unzGoToFirstFile(zip.get()); at == UNZ_OK; at = unzGoToNextFile(zip.get())) {
        unz_file_info64 info{};
        char name[256] = {};
        if (unzGetCurrentFileInfo64(zip.get(), &info, name, sizeof name - 1, nullptr, 0, nullptr,
                                    0) != UNZ_OK)
            return;
        if (info.uncompressed_size >= archived_file_limit)
            throw std::runtime_error(path + ": '" + printable(name) + "' is said to inflate to " +
                                     std::to_string(info.uncompressed_size) +
                                     " bytes; the importer takes files under " +
                                     std::to_string(archived_file_limit >> 30) + " GiB");
        inflated += double(info.uncompressed_size);
    }
    check_memory(copies_while_parsing * inflated, "reading " + path);
}

} // namespace xr
