// Keys given twice in one JSON object: parsers keep one of the two silently,
// some the first and some the last, and either may be the mistake.
#pragma once

#include "render/util/error.h"

#include <nlohmann/json.hpp>

#include <set>
#include <string>
#include <vector>

namespace xr {

class KeyTracker {
  public:
    // Refusals read "source: /json/pointer: given twice; <rule>".
    KeyTracker(std::string source, std::string rule)
        : source_(std::move(source)), rule_(std::move(rule)) {}

    void start(bool array) { open_.push_back({array, 0, {}, {}}); }
    // Throws Error naming the key by its JSON pointer when the object has it already.
    void key(const std::string& key);
    void end() {
        open_.pop_back();
        value();
    }
    void value() {
        if (!open_.empty() && open_.back().array)
            ++open_.back().index;
    }

    // Where the parse is: the JSON pointer of the value being read.
    Place place() const;

  private:
    struct Open {
        bool array;
        size_t index;               // of the element being read, in an array
        std::string key;            // being read, in an object
        std::set<std::string> keys; // read, in an object
    };

    std::string source_, rule_;
    std::vector<Open> open_;
};

// Reads the text through the tracker: throws Error, at the tracker's place,
// for text that is not JSON and for a key given twice. Gives an object of the
// `kept` keys of the outermost object, if it is one, with their values: the
// rest of the text is never held.
nlohmann::json check_keys(const std::string& text, KeyTracker& tracker,
                          const std::vector<std::string>& kept = {});

// Values nested deeper than this are refused before the text is parsed: a
// parser that recurses once a level (the importer's, and nlohmann's copy of
// an ordered object it grows) runs out of stack long before memory.
constexpr size_t max_json_nesting = 256;

// Whether no value of the text lies deeper than max_json_nesting. Text that
// is not JSON is left to the parser, which places its fault.
bool nesting_within_limit(const std::string& text);

// The refusal of text nested deeper: "values nested more than 256 deep".
std::string nesting_refusal();

// nlohmann's message without its own prefix and position.
std::string syntax_message(const nlohmann::json::exception& e);

} // namespace xr
