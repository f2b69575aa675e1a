// The x-ray material's parameters as options, one for each declared parameter
// a user sets: --power, --color, --light-mode, ...
#pragma once

#include "render/xray_settings.h"

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

namespace xr {

class MaterialOptions {
  public:
    // Declares the options on `app`, with the declaration's defaults and ranges in their help.
    explicit MaterialOptions(CLI::App& app);
    MaterialOptions(const MaterialOptions&) = delete;
    MaterialOptions& operator=(const MaterialOptions&) = delete;

    // Whether any was given.
    bool given() const;
    // Sets each one given in `settings`; throws CLI::ValidationError naming the
    // option for a value the parameter does not take.
    void read(XraySettings& settings) const;

  private:
    struct Option {
        const ParamDeclaration* param;
        size_t index; // in the declaration
        CLI::Option* option = nullptr;
        std::string text = {};
        bool flag = false;
    };
    std::vector<Option> options_;
};

} // namespace xr
