// Whole numbers as a user or a file writes them.
#pragma once

#include <charconv>
#include <optional>
#include <string_view>
#include <system_error>

namespace xr {

// Decimal digits alone, "7", as a T; none for any sign ("-0", "+7"), other
// characters ("7.0", " 7"), no digits, or a number beyond T.
template <typename T> std::optional<T> whole_number(std::string_view text) {
    T value{};
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || text[0] == '-' || error != std::errc() || stop != end)
        return std::nullopt;
    return value;
}

} // namespace xr
