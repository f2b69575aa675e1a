// The scenes the render benchmark renders: the built-in scene, and the same
// with its x-ray shell remade of many triangles, as a large x-rayed model
// would be, with the solid parts inside.
#pragma once

#include "render/scene.h"

#include <memory>
#include <string>

struct BenchScene {
    std::string name;
    std::unique_ptr<xr::Scene> scene;
    size_t triangles;
    size_t mesh_bytes;     // what the renderer's meshes hold
    size_t peak_bytes = 0; // the process's peak once built, when measured
};

BenchScene built_in_bench_scene();
// The shell of about `triangles` triangles, generated here.
BenchScene big_shell_scene(size_t triangles);
