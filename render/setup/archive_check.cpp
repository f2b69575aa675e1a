#include "render/setup/archive_check.h"

#include "render/setup/three_mf_check.h"
#include "render/util/system_memory.h"
#include "render/util/text.h"

#include <minizip/unzip.h>

#include <memory>
#include <optional>
#include <stdexcept>

namespace xr {

namespace {

// The inflated file, and the parser's copy of it and its own.
constexpr double copies_while_parsing = 3;

// The files the importer inflates: the relationships that name the model,
// and the model, which is one of the archive's .model files.
bool is_read_by_importer(const std::string& name) {
    return name == "_rels/.rels" || lowercase_extension(name) == "model";
}

// The archive's file `name` inflated; none if it holds none such or it cannot
// be inflated whole (its checksum too): the importer says why.
std::optional<std::string> inflated_file(unzFile zip, const std::string& name) {
    unz_file_info64 info{};
    if (unzLocateFile(zip, name.c_str(), 1) != UNZ_OK ||
        unzGetCurrentFileInfo64(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK ||
        info.uncompressed_size >= archived_file_limit || unzOpenCurrentFile(zip) != UNZ_OK)
        return std::nullopt;
    std::string data(info.uncompressed_size, '\0');
    const int read = unzReadCurrentFile(zip, data.data(), unsigned(data.size()));
    if (unzCloseCurrentFile(zip) != UNZ_OK || read != int(data.size()))
        return std::nullopt;
    return data;
}

} // namespace

void check_archive_file(const std::string& path) {
    // The reader the importer uses, so that the archives and sizes are those
    // it goes by.
    const std::unique_ptr<void, int (*)(unzFile)> zip(unzOpen64(path.c_str()), unzClose);
    if (!zip)
        return;
    double inflated = 0;
    for (int at = unzGoToFirstFile(zip.get()); at == UNZ_OK; at = unzGoToNextFile(zip.get())) {
        unz_file_info64 info{};
        char name[1024] = {};
        if (unzGetCurrentFileInfo64(zip.get(), &info, name, sizeof name - 1, nullptr, 0, nullptr,
                                    0) != UNZ_OK)
            return;
        if (!is_read_by_importer(name))
            continue;
        if (info.uncompressed_size >= archived_file_limit)
            throw std::runtime_error(path + ": '" + printable(name) + "' is said to inflate to " +
                                     std::to_string(info.uncompressed_size) +
                                     " bytes; the importer takes files under " +
                                     std::to_string(archived_file_limit >> 30) + " GiB");
        inflated += double(info.uncompressed_size);
    }
    check_memory(copies_while_parsing * inflated, "inflating and parsing the model of " + path);
    if (const auto relationships = inflated_file(zip.get(), "_rels/.rels"))
        if (const auto name = model_part_name(*relationships))
            if (const auto model = inflated_file(zip.get(), *name))
                check_3mf_model(*model, path);
}

} // namespace xr
