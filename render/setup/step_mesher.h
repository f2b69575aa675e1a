// The shape of a STEP product as triangle meshes: BRepMesh_IncrementalMesh
// within the model's tessellation, normals from the surfaces, and the faces
// gathered by the colour each has of its own.
#pragma once

#include "render/mesh.h"
#include "render/setup/scene_description.h"

#include <NCollection_DataMap.hxx>
#include <TopTools_ShapeMapHasher.hxx>
#include <TopoDS_Shape.hxx>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace xr {

// The colours that faces of a shape have of their own, by face.
using FaceColors = NCollection_DataMap<TopoDS_Shape, Vec3, TopTools_ShapeMapHasher>;

// Faces of one colour, in the shape's own space.
struct FaceGroup {
    std::shared_ptr<const Mesh> mesh;
    std::optional<Vec3> color; // none: the faces take the colour of the part they are in
};

// As shares of the diagonal of each shape's bounds, as relative_linear_deflection
// (scene_description.h): the finest linear deflection one may ask for, below
// which a shape's triangles would only exhaust the memory; and the coarsest,
// beyond which the mesher leaves small faces without triangles.
constexpr double finest_linear_deflection = 1e-5;
constexpr double coarsest_linear_deflection = 1e-2;
// Whatever the shape's size, no deflection is finer than this many times
// OpenCASCADE's confusion tolerance (1e-7 m), below which the mesher refuses
// to work: a small part of a large assembly, or one modelled in micrometres.
constexpr double confusion_multiple = 2.0;

// Meshes the shape, which no other thread may be meshing. Empty for a shape
// without faces. Throws std::runtime_error, naming `what`, when a face with an
// area is left without triangles.
std::vector<FaceGroup> mesh_shape(const TopoDS_Shape& shape, const FaceColors& colors,
                                  const Tessellation& tessellation, const std::string& what);

} // namespace xr
