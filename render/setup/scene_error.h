// A fault in a scene description, with where it was stated: a JSON pointer into
// the scene file ("/assign/2/xray/power") or the option that set it.
#pragma once

#include <stdexcept>
#include <string>

namespace xr {

class SceneError : public std::runtime_error {
  public:
    SceneError(std::string where, const std::string& what)
        : std::runtime_error(what), where_(std::move(where)) {}

    const std::string& where() const { return where_; }

  private:
    std::string where_;
};

} // namespace xr
