// An OBJ file's text as its reader takes it, a line at a time, so that what
// the reader reports can be placed: the line being read, and its number.
#pragma once

#include <istream>
#include <streambuf>
#include <string>
#include <string_view>

namespace xr {

class ObjLines : public std::streambuf {
  public:
    explicit ObjLines(std::istream& in) : in_(in) {}

    // The line the reader has taken last, with its end, and its number from 1.
    std::string_view line() const;
    size_t number() const;

  protected:
    int_type underflow() override;

  private:
    // Whether the end of the next line is in `text_`, searching from `from`.
    bool next_end(size_t from, size_t& end);

    std::istream& in_;
    std::string text_;                          // read ahead, from the start of the previous line
    size_t previous_ = 0, start_ = 0, end_ = 0; // of the previous line and this one
    size_t number_ = 0;                         // of this one
};

} // namespace xr
