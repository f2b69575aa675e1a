// This program's name and version, as --version gives them.
#pragma once

namespace xr {

extern const char* const program_version;

} // namespace xr
