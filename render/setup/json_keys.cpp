#include "render/setup/json_keys.h"

#include "render/util/text.h"

#include <algorithm>

namespace xr {

namespace {

// nlohmann's SAX events, passed to the tracker; the values of the kept keys
// of the outermost object are built as they are read.
class KeyEvents : public nlohmann::json_sax<nlohmann::json> {
  public:
    using json = nlohmann::json;

    KeyEvents(KeyTracker& tracker, const std::vector<std::string>& kept, json& out)
        : tracker_(tracker), kept_(kept), out_(out) {}

    bool null() override { return value(nullptr); }
    bool boolean(bool b) override { return value(b); }
    bool number_integer(number_integer_t n) override { return value(n); }
    bool number_unsigned(number_unsigned_t n) override { return value(n); }
    bool number_float(number_float_t n, const string_t&) override { return value(n); }
    bool string(string_t& s) override { return value(std::move(s)); }
    bool binary(binary_t&) override { return value(nullptr); } // text holds none
    bool start_object(std::size_t) override { return start(json::object(), false); }
    bool key(string_t& key) override {
        tracker_.key(key);
        if (depth_ == 1)
            keeping_ = std::find(kept_.begin(), kept_.end(), key) != kept_.end();
        key_ = key;
        return true;
    }
    bool end_object() override { return end(); }
    bool start_array(std::size_t) override { return start(json::array(), true); }
    bool end_array() override { return end(); }
    bool parse_error(std::size_t, const std::string&,
                     const nlohmann::detail::exception& e) override {
        // What nlohmann last read may be any bytes. A number beyond a
        // double's range is JSON, if more than this program reads.
        const bool overflow = dynamic_cast<const nlohmann::json::out_of_range*>(&e) != nullptr;
        throw Error(tracker_.place(),
                    (overflow ? "" : "not JSON: ") + printable(syntax_message(e)));
    }

  private:
    // Where a value read now goes, if it is kept: into the value being built,
    // or as a kept key's value.
    json* keep(json&& v) {
        if (!building_.empty()) {
            json& whole = *building_.back();
            return whole.is_array() ? &whole.emplace_back(std::move(v))
                                    : &(whole[key_] = std::move(v));
        }
        return depth_ == 1 && keeping_ ? &(out_[key_] = std::move(v)) : nullptr;
    }
    bool value(json&& v) {
        tracker_.value();
        keep(std::move(v));
        return true;
    }
    bool start(json&& empty, bool array) {
        // Built in place: a container's parent takes nothing else until it ends.
        if (json* at = keep(std::move(empty)))
            building_.push_back(at);
        ++depth_;
        tracker_.start(array);
        return true;
    }
    bool end() {
        --depth_;
        if (!building_.empty())
            building_.pop_back();
        tracker_.end();
        return true;
    }

    KeyTracker& tracker_;
    const std::vector<std::string>& kept_;
    json& out_;
    int depth_ = 0;               // containers open
    bool keeping_ = false;        // the outermost object's key last read is kept
    std::string key_;             // last read
    std::vector<json*> building_; // the kept containers open, innermost last
};

// Counts the containers open; reads nothing else and stops at the first
// fault of syntax.
class NestingEvents : public nlohmann::json_sax<nlohmann::json> {
  public:
    bool null() override { return true; }
    bool boolean(bool) override { return true; }
    bool number_integer(number_integer_t) override { return true; }
    bool number_unsigned(number_unsigned_t) override { return true; }
    bool number_float(number_float_t, const string_t&) override { return true; }
    bool string(string_t&) override { return true; }
    bool binary(binary_t&) override { return true; }
    bool start_object(std::size_t) override { return start(); }
    bool key(string_t&) override { return true; }
    bool end_object() override { return --depth_, true; }
    bool start_array(std::size_t) override { return start(); }
    bool end_array() override { return --depth_, true; }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
        return false;
    }

    bool too_deep = false;

  private:
    bool start() {
        too_deep = ++depth_ > max_json_nesting;
        return !too_deep;
    }
    size_t depth_ = 0;
};

} // namespace

bool nesting_within_limit(const std::string& text) {
    NestingEvents events;
    nlohmann::json::sax_parse(text, &events);
    return !events.too_deep;
}

std::string nesting_refusal() {
    return "values nested more than " + std::to_string(max_json_nesting) + " deep";
}

void KeyTracker::key(const std::string& key) {
    Open& object = open_.back();
    object.key = key;
    if (!object.keys.insert(object.key).second)
        throw Error(place(), "given twice; " + rule_);
}

Place KeyTracker::place() const {
    Place p{source_, ""};
    for (const Open& o : open_)
        p = p / (o.array ? std::to_string(o.index) : o.key);
    return p;
}

std::string syntax_message(const nlohmann::json::exception& e) {
    const std::string what = e.what();
    const size_t column = what.find("column ");
    const size_t start = column == std::string::npos ? what.find("] ") : what.find(": ", column);
    return start == std::string::npos ? what : what.substr(start + 2);
}

nlohmann::json check_keys(const std::string& text, KeyTracker& tracker,
                          const std::vector<std::string>& kept) {
    nlohmann::json out = nlohmann::json::object();
    KeyEvents events(tracker, kept, out);
    nlohmann::json::sax_parse(text, &events);
    return out;
}

} // namespace xr
