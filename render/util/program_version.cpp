#include "render/util/program_version.h"

namespace xr {

const char* const program_version = "xray-render " XRAY_RENDER_VERSION;

} // namespace xr
