#include "render/setup/collada_check.h"

#include "render/setup/model_file_check.h"
#include "render/setup/node_expansion.h"
#include "render/util/byte_stream.h"
#include "render/util/regular_file.h"
#include "render/util/text.h"

#include <assimp/Importer.hpp>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <unordered_map>
#include <vector>

namespace xr {

namespace {

bool is_space(int c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

void append_utf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

// An attribute's value as the importer's parser gives it, so that ids and the
// references to them match as they match there: line breaks and tabs as
// spaces, the five named entities and character references decoded.
std::string attribute_value(const std::string& raw) {
    std::string out;
    for (size_t i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == '\r' || c == '\n' || c == '\t') {
            out += ' ';
            if (c == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n')
                ++i;
            continue;
        }
        const size_t semicolon = c == '&' ? raw.find(';', i) : std::string::npos;
        if (semicolon == std::string::npos) {
            out += c;
            continue;
        }
        const std::string entity = raw.substr(i + 1, semicolon - i - 1);
        static const std::pair<const char*, char> named[] = {
            {"amp", '&'}, {"apos", '\''}, {"gt", '>'}, {"lt", '<'}, {"quot", '"'}};
        const auto known = std::find_if(std::begin(named), std::end(named),
                                        [&](const auto& n) { return entity == n.first; });
        const bool hex = entity.size() > 2 && entity[0] == '#' && entity[1] == 'x';
        const std::string digits = entity.substr(hex ? 2 : 1);
        const bool number = entity.size() > 1 && entity[0] == '#' && !digits.empty() &&
                            digits.find_first_not_of(hex ? "0123456789abcdefABCDEF"
                                                         : "0123456789") == std::string::npos;
        if (known != std::end(named)) {
            out += known->second;
        } else if (number) {
            uint32_t code = 0; // wraps as the parser's does
            for (const char d : digits)
                code = code * (hex ? 16 : 10) + uint32_t(d <= '9' ? d - '0' : (d | ' ') - 'a' + 10);
            append_utf8(out, code);
        } else {
            out += c;
            continue;
        }
        i = semicolon;
    }
    return out;
}

struct XmlTag {
    std::string name;
    std::unordered_map<std::string, std::string> attributes; // id, name, url and count only
    bool empty = false;                                      // <name/>
};

// A <node>, or a <visual_scene>, which the importer reads as the root node of
// its nodes.
struct Node {
    std::string id, name;
    std::vector<size_t> children;
    std::vector<std::string> instances; // the ids or names of the nodes it instances
};

// The nodes of a COLLADA file as the importer reads them: only those that are
// children of the root element's <library_nodes> and <library_visual_scenes>,
// and of their nodes, are read.
class NodeScanner {
  public:
    NodeScanner(const RegularFile& file, const std::string& path)
        : in_(file), path_(path), size_(file.size()) {}

    void scan() {
        for (int c = in_.get(); c != -1; c = in_.get()) {
            if (c != '<')
                continue;
            c = in_.get();
            if (c == '!') {
                declaration();
            } else if (c == '?') {
                in_.skip_past("?>");
            } else if (c == '/') {
                in_.skip_past(">");
                close();
            } else if (c != -1 && !is_space(c)) {
                const XmlTag tag = read_tag(c);
                open(tag);
                if (tag.empty)
                    close();
            }
        }
    }

    std::vector<Node> nodes;
    // By id: the library's nodes and visual scenes, a later one in the place
    // of an earlier one with its id, as the importer keeps them.
    std::unordered_map<std::string, size_t> library;
    std::optional<size_t> scene; // the visual scene the file shows

  private:
    // What an open element is to the importer.
    enum class Kind { other, collada, node_library, scene_library, scene, node };
    struct Open {
        Kind kind;
        size_t node; // for a node
        std::string name;
    };

    void declaration() {
        const int c = in_.get();
        if (c == '-') {
            in_.skip_past("-->");
            return;
        }
        if (c == '[') {
            in_.skip_past("]]>");
            return;
        }
        // A document type, whose internal subset in brackets may hold
        // quoted '>' and comments.
        int brackets = 0;
        for (int d = c; d != -1; d = in_.get()) {
            if (d == '"' || d == '\'') {
                in_.skip_past(d == '"' ? "\"" : "'");
            } else if (d == '[') {
                ++brackets;
            } else if (d == ']') {
                --brackets;
            } else if (d == '<' && brackets > 0) {
                const int e = in_.get();
                if (e == '!' && in_.get() == '-')
                    in_.skip_past("-->");
            } else if (d == '>' && brackets <= 0) {
                return;
            }
        }
    }

    // A start tag from its name's first character to its '>'.
    XmlTag read_tag(int c) {
        XmlTag tag;
        while (c != -1 && !is_space(c) && c != '/' && c != '>') {
            tag.name += char(c);
            c = in_.get();
        }
        for (;;) {
            while (is_space(c))
                c = in_.get();
            if (c == -1 || c == '>')
                return tag;
            if (c == '/') {
                tag.empty = in_.get() == '>';
                return tag;
            }
            std::string name;
            while (c != -1 && !is_space(c) && c != '=' && c != '/' && c != '>') {
                name += char(c);
                c = in_.get();
            }
            while (is_space(c))
                c = in_.get();
            if (c != '=')
                continue;
            c = in_.get();
            while (is_space(c))
                c = in_.get();
            if (c != '"' && c != '\'')
                continue;
            const int quote = c;
            std::string value;
            for (c = in_.get(); c != -1 && c != quote; c = in_.get())
                value += char(c);
            if (name == "id" || name == "name" || name == "url" || name == "count")
                tag.attributes.try_emplace(name, attribute_value(value)); // the first counts
            c = in_.get();
        }
    }

    std::string attribute(const XmlTag& tag, const char* name) const {
        const auto at = tag.attributes.find(name);
        return at == tag.attributes.end() ? "" : at->second;
    }

    void open(const XmlTag& tag) {
        if (++open_by_name_[tag.name] > max_node_depth)
            throw std::runtime_error(path_ + " has <" + utf8_text(tag.name) +
                                     "> elements nested more than " +
                                     std::to_string(max_node_depth) + " deep");
        check_count(tag);
        const Kind parent = open_.empty() ? Kind::other : open_.back().kind;
        Open element{Kind::other, 0, tag.name};
        if (open_.empty() && tag.name == "COLLADA" && !seen_root_) {
            element.kind = Kind::collada;
            seen_root_ = true;
        } else if (parent == Kind::collada && tag.name == "library_nodes") {
            element.kind = Kind::node_library;
        } else if (parent == Kind::collada && tag.name == "library_visual_scenes") {
            element.kind = Kind::scene_library;
        } else if (parent == Kind::collada && tag.name == "scene") {
            element.kind = Kind::scene;
        } else if (parent == Kind::scene && tag.name == "instance_visual_scene") {
            // The importer looks it up as soon as it reads it.
            const std::string url = attribute(tag, "url");
            const auto found = url.empty() ? library.end() : library.find(url.substr(1));
            if (!scene && found != library.end())
                scene = found->second;
        } else if ((parent == Kind::node_library && tag.name == "node") ||
                   (parent == Kind::scene_library && tag.name == "visual_scene")) {
            element = {Kind::node, add_node(tag), tag.name};
            library[nodes.back().id] = element.node;
        } else if (parent == Kind::node && tag.name == "node") {
            element = {Kind::node, add_node(tag), tag.name};
            nodes[open_.back().node].children.push_back(element.node);
        } else if (parent == Kind::node && tag.name == "instance_node") {
            const std::string url = attribute(tag, "url");
            if (!url.empty() && url[0] == '#')
                nodes[open_.back().node].instances.push_back(url.substr(1));
        }
        open_.push_back(std::move(element));
    }

    // What an element counts (an array's values, a list's triangles) is in
    // the file, a byte at least each: the importer reserves room for the
    // count before it reads one, and ran out of memory on a count of 10^9.
    void check_count(const XmlTag& tag) const {
        const std::string count = attribute(tag, "count");
        const auto digits = count.find_first_not_of("0123456789");
        if (count.empty() || digits != std::string::npos)
            return;
        if (count.size() > 19 || std::stoull(count) > size_) {
            const std::string id = attribute(tag, "id");
            throw std::runtime_error(path_ + ": <" + utf8_text(tag.name) + ">" +
                                     (id.empty() ? "" : " '" + utf8_text(id) + "'") + " counts " +
                                     count + ", more than its " + std::to_string(size_) +
                                     " bytes can hold");
        }
    }

    size_t add_node(const XmlTag& tag) {
        Node node;
        node.id = attribute(tag, "id");
        // A scene without a name has the importer's.
        node.name =
            tag.name == "node" || tag.attributes.count("name") ? attribute(tag, "name") : "Scene";
        nodes.push_back(std::move(node));
        return nodes.size() - 1;
    }

    void close() {
        if (open_.empty())
            return;
        --open_by_name_[open_.back().name];
        open_.pop_back();
    }

    ByteStream in_;
    const std::string& path_;
    const uint64_t size_; // the file's
    std::vector<Open> open_;
    std::unordered_map<std::string, int> open_by_name_;
    bool seen_root_ = false; // the importer reads the first <COLLADA>
};

// The node an instance refers to, as the importer finds it: the library's
// node of that id, else the first node of the scene with that name or id.
class Instances {
  public:
    explicit Instances(const NodeScanner& s) : s_(s) {
        std::vector<size_t> stack{*s.scene};
        while (!stack.empty()) {
            const Node& node = s.nodes[stack.back()];
            const size_t index = stack.back();
            stack.pop_back();
            in_scene_.try_emplace(node.name, index);
            in_scene_.try_emplace(node.id, index);
            stack.insert(stack.end(), node.children.rbegin(), node.children.rend());
        }
    }

    std::optional<size_t> find(const std::string& key) const {
        for (const auto* map : {&s_.library, &in_scene_})
            if (const auto at = map->find(key); at != map->end())
                return at->second;
        return std::nullopt;
    }

  private:
    const NodeScanner& s_;
    std::unordered_map<std::string, size_t> in_scene_;
};

// The scene's nodes as the importer builds them, each node counted once
// however often it is used: how deep they nest and how many they are.
void check_expansion(const NodeScanner& s, const std::string& path) {
    const Instances instances(s);
    // A node's children, then the nodes it instances.
    NodeUses uses(s.nodes.size());
    for (size_t n = 0; n < s.nodes.size(); ++n) {
        uses[n] = s.nodes[n].children;
        for (const std::string& url : s.nodes[n].instances)
            if (const std::optional<size_t> found = instances.find(url))
                uses[n].push_back(*found);
    }
    // The scene is a level above the nodes nested in it.
    const ExpansionFault fault =
        expand_nodes(uses, {*s.scene}, Counted::every_node, max_node_depth + 1).fault;
    auto name_of = [&](size_t n) {
        const Node& node = s.nodes[n];
        return "'" + utf8_text(node.id.empty() ? node.name : node.id) + "'";
    };
    switch (fault.kind) {
    case ExpansionFault::Kind::none:
        return;
    case ExpansionFault::Kind::loop:
        throw std::runtime_error(
            path + ": node " + name_of(fault.node) + " contains itself" +
            (fault.through == fault.node ? "" : ", through " + name_of(fault.through)));
    case ExpansionFault::Kind::too_deep:
        throw std::runtime_error(path + " has nodes nested more than " +
                                 std::to_string(max_node_depth) +
                                 " deep, counting the nodes they instance");
    case ExpansionFault::Kind::too_many:
        throw std::runtime_error(path + " expands to more than " +
                                 std::to_string(max_expanded_nodes) +
                                 " nodes through the nodes it instances");
    }
}

// COLLADA as the importer picks it: by its extension, or, for .xml and
// extensions no importer claims, by "<collada" in its first 200 bytes (in any
// case, NUL bytes left out) or as a zip archive. A .dae is never unzipped.
enum class Collada { no, text, zipped };

Collada collada_kind(const RegularFile& file, const std::string& path) {
    uint8_t head[200];
    const size_t got = file.read_into(head, sizeof head);
    const bool zip = got >= 4 && std::memcmp(head, "PK\x03\x04", 4) == 0;
    std::string text;
    for (size_t i = 0; i < got; ++i)
        if (head[i] != 0)
            text += char(std::tolower(head[i]));
    const std::string extension = lowercase_extension(path);
    const bool sniffed =
        extension == "xml" || !Assimp::Importer().IsExtensionSupported("." + extension);
    if (zip && extension != "dae")
        return extension == "zae" || sniffed ? Collada::zipped : Collada::no;
    if (extension == "dae" || extension == "zae" ||
        (sniffed && text.find("<collada") != std::string::npos))
        return Collada::text;
    return Collada::no;
}

} // namespace

void check_collada_file(const std::string& path) {
    switch (collada_kind(open_to_read(path), path)) {
    case Collada::no:
        return;
    case Collada::zipped:
        throw std::runtime_error(path + " is a zipped COLLADA file, which is not read: "
                                        "give the .dae inside it");
    case Collada::text:
        break;
    }
    const RegularFile file = open_to_read(path);
    NodeScanner scanner(file, path);
    scanner.scan();
    // Without a scene the importer builds no nodes.
    if (scanner.scene)
        check_expansion(scanner, path);
}

} // namespace xr
