#include "render/setup/json_keys.h"

#include "render/util/text.h"

namespace xr {

namespace {

// nlohmann's SAX events, passed to the tracker.
class KeyEvents : public nlohmann::json_sax<nlohmann::json> {
  public:
    explicit KeyEvents(KeyTracker& tracker) : tracker_(tracker) {}

    bool null() override { return value(); }
    bool boolean(bool) override { return value(); }
    bool number_integer(number_integer_t) override { return value(); }
    bool number_unsigned(number_unsigned_t) override { return value(); }
    bool number_float(number_float_t, const string_t&) override { return value(); }
    bool string(string_t&) override { return value(); }
    bool binary(binary_t&) override { return value(); }
    bool start_object(std::size_t) override { return start(false); }
    bool key(string_t& key) override {
        tracker_.key(key);
        return true;
    }
    bool end_object() override { return end(); }
    bool start_array(std::size_t) override { return start(true); }
    bool end_array() override { return end(); }
    bool parse_error(std::size_t, const std::string&,
                     const nlohmann::detail::exception& e) override {
        // What nlohmann last read may be any bytes.
        throw Error(tracker_.place(), "not JSON: " + printable(utf8_text(syntax_message(e))));
    }

  private:
    bool value() {
        tracker_.value();
        return true;
    }
    bool start(bool array) {
        tracker_.start(array);
        return true;
    }
    bool end() {
        tracker_.end();
        return true;
    }

    KeyTracker& tracker_;
};

} // namespace

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

void check_keys(const std::string& text, KeyTracker& tracker) {
    KeyEvents events(tracker);
    nlohmann::json::sax_parse(text, &events);
}

} // namespace xr
