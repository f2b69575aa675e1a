// Text files compiled into the program at build time, so that it needs no data
// file at run time and can be moved anywhere.
#pragma once

namespace xr {

// shader/qorv_xraytexture.json: the shader's declaration of its parameters.
extern const char* const xray_declaration_text;
// scenes/default.json: what xray-render draws when given no scene or model.
extern const char* const default_scene_text;
// render/serve/page/: the look-development page that xray-render serve serves.
extern const char* const preview_page_html;
extern const char* const preview_page_css;
extern const char* const preview_page_js;

} // namespace xr
