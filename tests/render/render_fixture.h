// Small scenes rendered with the real shader library, bound to the host
// operations this test program exports.
#pragma once

#include "render/renderer.h"
#include "render/scene.h"
#include "render/setup/shapes.h"

#include <gtest/gtest.h>

// The library, loaded once for the whole program.
qorv_xraytexture_fn xray_shader();

// A square of side 2 * half in the plane z = center.z, facing +z.
xr::Mesh pane(xr::Vec3 center, float half);

// A camera on the +z axis looking at the origin, a point light beside it, and
// a checkered matte wall at z = -2 that covers the left half of the view; the
// environment fills the right half.
xr::Scene backdrop_scene();

// Adds the mesh wearing the material.
void add(xr::Scene& scene, xr::Mesh mesh, const xr::Material& material, bool flagged = false);

// An x-ray material of those settings, lit by the lights given.
const xr::Material& xray(xr::Scene& scene, const xr::XraySettings& settings,
                         std::vector<Tag> lights = {}, std::vector<Tag> connections = {});

xr::Image render_small(const xr::Scene& scene, xr::RenderStats* stats = nullptr, int threads = 2,
                       int size = 64);

// The value of the declared parameter of that name.
xr::ParamValue& param(xr::XraySettings& settings, const std::string& name);
const xr::ParamValue& param(const xr::XraySettings& settings, const std::string& name);

// Settings that show a flat colour: the surface alone, no highlight.
xr::XraySettings flat(Color color);

// Pixels differing by more than `tolerance` in any channel.
int differing_pixels(const xr::Image& a, const xr::Image& b, float tolerance);

void expect_near_color(const Color& actual, const Color& expected, float tolerance = 1e-5f);
