#include "render/setup/obj_lines.h"

#include <algorithm>
#include <cstring>

namespace xr {

namespace {

constexpr size_t chunk = 1 << 16;

} // namespace

// A line ends as the reader's own does: at LF, CR LF or a CR alone. After a
// CR it looks at what comes next, which may take the next line in here: the
// line it took is then the previous one.
std::string_view ObjLines::line() const {
    const bool looked_ahead = gptr() == eback() && number_ > 1;
    return looked_ahead ? std::string_view(text_).substr(previous_, start_ - previous_)
                        : std::string_view(text_).substr(start_, end_ - start_);
}

size_t ObjLines::number() const {
    return gptr() == eback() && number_ > 1 ? number_ - 1 : number_;
}

bool ObjLines::next_end(size_t from, size_t& end) {
    // The first LF, then a CR before it: memchr's vector code, where
    // find_first_of would search its set for each byte.
    const char* const begin = text_.data() + from;
    const char* const stop = text_.data() + text_.size();
    const auto first = [](const char* from, const char* to, char c) {
        const void* at = std::memchr(from, c, size_t(to - from));
        return at ? static_cast<const char*>(at) : to;
    };
    const size_t at = size_t(first(begin, first(begin, stop, '\n'), '\r') - text_.data());
    if (at == text_.size() || (text_[at] == '\r' && at + 1 == text_.size()))
        return false;
    end = at + (text_[at] == '\r' && text_[at + 1] == '\n' ? 2 : 1);
    return true;
}

ObjLines::int_type ObjLines::underflow() {
    size_t end = 0;
    size_t from = end_;
    while (!next_end(from, end)) {
        // What was searched holds no end, but for a CR as its last byte,
        // which is looked at again with the byte after it: each byte of a
        // long line is searched once, not once a chunk.
        from = std::max(end_, text_.empty() ? 0 : text_.size() - 1);
        // Keep the previous line, which line() may still be asked for.
        text_.erase(0, previous_);
        from -= previous_, start_ -= previous_, end_ -= previous_, previous_ = 0;
        const size_t kept = text_.size();
        text_.resize(kept + chunk);
        in_.read(text_.data() + kept, chunk);
        text_.resize(kept + size_t(in_.gcount()));
        if (text_.size() == kept) {
            end = text_.size(); // the last line, without an end
            break;
        }
    }
    if (end == end_)
        return traits_type::eof();
    previous_ = start_, start_ = end_, end_ = end;
    ++number_;
    char* base = text_.data();
    setg(base + start_, base + start_, base + end_);
    return traits_type::to_int_type(base[start_]);
}

} // namespace xr
