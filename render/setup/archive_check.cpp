#include "render/setup/archive_check.h"

#include "render/setup/three_mf_check.h"
#include "render/util/system_memory.h"
#include "render/util/text.h"

#include <minizip/unzip.h>

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <utility>

namespace xr {

namespace {

// The importer's zip reader takes names of up to this many bytes.
constexpr size_t longest_name = 256;

// An archived file the importer lists.
struct Listed {
    unz64_file_pos at;
    uint64_t size;
};
using Listing = std::map<std::string, Listed>;

} // namespace

std::optional<std::string> archived_name(std::string name) {
    std::replace(name.begin(), name.end(), '\\', '/');
    name.erase(0, name.find_first_not_of("./"));
    const std::string up = "/../";
    for (size_t at = name.find(up); at != std::string::npos; at = name.find(up)) {
        const size_t before = name.rfind('/', at - 1);
        if (before == std::string::npos)
            return std::nullopt;
        name.erase(before, at + up.size() - 1 - before);
    }
    return name;
}

namespace {

// The archive's files as the importer lists them: by their simplified names,
// the first of a name kept, empty ones left out. None if the importer fails
// to list them.
std::optional<Listing> listing(unzFile zip) {
    Listing files;
    for (int at = unzGoToFirstFile(zip); at == UNZ_OK; at = unzGoToNextFile(zip)) {
        unz_file_info64 info{};
        char name[longest_name + 1] = {};
        unz64_file_pos position{};
        if (unzGetCurrentFileInfo64(zip, &info, name, longest_name, nullptr, 0, nullptr, 0) !=
                UNZ_OK ||
            unzGetFilePos64(zip, &position) != UNZ_OK)
            return std::nullopt;
        if (info.uncompressed_size == 0 || info.size_filename > longest_name)
            continue;
        const std::optional<std::string> listed =
            archived_name(std::string(name, info.size_filename));
        if (!listed)
            return std::nullopt;
        files.try_emplace(*listed, Listed{position, info.uncompressed_size});
    }
    return files;
}

// Thumbnails a 3MF's importer reads whole, and copies into the scene's
// textures.
bool is_thumbnail(const std::string& name) {
    const std::string extension = lowercase_extension(name);
    return (extension == "png" || extension == "jpg") &&
           name.find("thumbnail") != std::string::npos;
}

// The file inflated; none if it cannot be inflated whole (its checksum too):
// the importer says why.
std::optional<std::string> inflated(unzFile zip, const Listed& file) {
    unz64_file_pos at = file.at;
    if (unzGoToFilePos64(zip, &at) != UNZ_OK || unzOpenCurrentFile(zip) != UNZ_OK)
        return std::nullopt;
    std::string data(file.size, '\0');
    const int read = unzReadCurrentFile(zip, data.data(), unsigned(data.size()));
    if (unzCloseCurrentFile(zip) != UNZ_OK || read != int(data.size()))
        return std::nullopt;
    return data;
}

// The importer cannot inflate a file this large, and with the relationships
// or the model stopped the process.
void check_size(const std::string& path, const std::string& name, const Listed& file) {
    if (file.size >= archived_file_limit)
        throw std::runtime_error(path + ": '" + printable(name) + "' is said to inflate to " +
                                 std::to_string(file.size) +
                                 " bytes; the importer takes files under " +
                                 std::to_string(archived_file_limit >> 30) + " GiB");
}

} // namespace

bool check_archive_file(const std::string& path) {
    // The reader the importer uses, so that the archives and sizes are those
    // it goes by.
    const std::unique_ptr<void, int (*)(unzFile)> zip(unzOpen64(path.c_str()), unzClose);
    if (!zip)
        return false;
    const std::optional<Listing> files = listing(zip.get());
    if (!files)
        return false;
    // Each thumbnail is held from when it is read, the largest inflated
    // beside its copy for a while.
    double thumbnails = 0, largest = 0;
    for (const auto& [name, file] : *files)
        if (is_thumbnail(name)) {
            thumbnails += double(file.size);
            largest = std::max(largest, double(file.size));
        }
    const auto relationships = files->find("_rels/.rels");
    if (relationships == files->end()) {
        check_memory(thumbnails + largest, "inflating the thumbnails of " + path);
        return false;
    }
    check_size(path, relationships->first, relationships->second);
    check_memory(thumbnails + largest +
                     double(importer_copies_of_text) * double(relationships->second.size),
                 "inflating the relationships and thumbnails of " + path);
    std::optional<std::string> text = inflated(zip.get(), relationships->second);
    const std::optional<std::string> target =
        text ? model_part_name(std::move(*text)) : std::nullopt;
    const std::optional<std::string> name = target ? archived_name(*target) : std::nullopt;
    const auto model = name ? files->find(*name) : files->end();
    if (model == files->end())
        return false;
    check_size(path, model->first, model->second);
    check_memory(thumbnails + largest +
                     double(importer_copies_of_text) * double(model->second.size),
                 "inflating and parsing the model of " + path);
    if (std::optional<std::string> model_text = inflated(zip.get(), model->second))
        check_3mf_model(std::move(*model_text), {path, model->first, thumbnails});
    return true;
}

} // namespace xr
