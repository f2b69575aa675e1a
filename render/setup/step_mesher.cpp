#include "render/setup/step_mesher.h"

#include "render/setup/placement.h"

#include <BRepAdaptor_Curve.hxx>
#include <BRepBndLib.hxx>
#include <BRepGProp.hxx>
#include <BRepMesh_IncrementalMesh.hxx>
#include <BRep_Tool.hxx>
#include <Bnd_Box.hxx>
#include <GProp_GProps.hxx>
#include <Poly_PolygonOnTriangulation.hxx>
#include <Precision.hxx>
#include <RWMesh_FaceIterator.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace xr {

namespace {

Vec3 vec3(const gp_XYZ& v, const std::string& what) {
    return checked_vec3(v.X(), v.Y(), v.Z(), what);
}

// The area the face's edges enclose, as a vector: a surface the mesher cannot
// follow may be one its area cannot be computed on either.
gp_XYZ enclosed_area(const TopoDS_Face& face) {
    constexpr int steps = 16;
    gp_XYZ area;
    for (TopExp_Explorer e(face, TopAbs_EDGE); e.More(); e.Next()) {
        const TopoDS_Edge& edge = TopoDS::Edge(e.Current());
        if (BRep_Tool::Degenerated(edge))
            continue;
        const BRepAdaptor_Curve curve(edge);
        const bool reversed = edge.Orientation() == TopAbs_REVERSED;
        const double from = reversed ? curve.LastParameter() : curve.FirstParameter();
        const double to = reversed ? curve.FirstParameter() : curve.LastParameter();
        gp_XYZ last = curve.Value(from).XYZ();
        for (int i = 1; i <= steps; ++i) {
            const gp_XYZ next = curve.Value(from + (to - from) * i / steps).XYZ();
            area += last.Crossed(next) / 2;
            last = next;
        }
    }
    return area;
}

// Whether a face left without triangles matters: one without area, an edge
// or a point the modeller left behind, does not. Its area is measured on its
// surface, and inside its edges where that surface is broken.
bool has_area(const TopoDS_Face& face, double diagonal) {
    GProp_GProps properties;
    BRepGProp::SurfaceProperties(face, properties);
    const double least = 1e-12 * diagonal * diagonal;
    return std::fabs(properties.Mass()) > least || enclosed_area(face).Modulus() > least;
}

// The nodes of the face on an edge that its surface degenerates to, a cone's
// apex or a sphere's pole: OpenCASCADE makes their normal up, as often
// inwards as not.
std::vector<bool> on_degenerated_edge(const TopoDS_Face& face,
                                      const Handle(Poly_Triangulation) & triangulation) {
    std::vector<bool> nodes(size_t(triangulation->NbNodes()) + 1);
    TopLoc_Location location;
    for (TopExp_Explorer e(face, TopAbs_EDGE); e.More(); e.Next()) {
        const TopoDS_Edge& edge = TopoDS::Edge(e.Current());
        if (!BRep_Tool::Degenerated(edge))
            continue;
        const Handle(Poly_PolygonOnTriangulation) polygon =
            BRep_Tool::PolygonOnTriangulation(edge, triangulation, location);
        if (!polygon.IsNull())
            for (int i = 1; i <= polygon->NbNodes(); ++i)
                nodes[size_t(polygon->Node(i))] = true;
    }
    return nodes;
}

} // namespace

std::vector<FaceGroup> mesh_shape(const TopoDS_Shape& shape, const FaceColors& colors,
                                  const Tessellation& tessellation, const std::string& what) {
    Bnd_Box box;
    BRepBndLib::Add(shape, box);
    if (box.IsVoid())
        return {};
    const double diagonal = std::sqrt(box.SquareExtent());
    IMeshTools_Parameters parameters;
    parameters.Deflection =
        std::max(tessellation.linear
                     ? std::clamp(double(*tessellation.linear), finest_linear_deflection* diagonal,
                                  coarsest_linear_deflection* diagonal)
                     : relative_linear_deflection * diagonal,
                 confusion_multiple * Precision::Confusion());
    parameters.Angle = double(radians(tessellation.angular));
    // Shapes are meshed in parallel, each by one thread.
    parameters.InParallel = false;
    BRepMesh_IncrementalMesh mesher(shape, parameters);

    int unmeshed = 0, faces = 0;
    for (TopExp_Explorer f(shape, TopAbs_FACE); f.More(); f.Next(), ++faces) {
        TopLoc_Location location;
        const Handle(Poly_Triangulation)& t =
            BRep_Tool::Triangulation(TopoDS::Face(f.Current()), location);
        if ((t.IsNull() || t->NbTriangles() == 0) && has_area(TopoDS::Face(f.Current()), diagonal))
            ++unmeshed;
    }
    if (unmeshed > 0)
        throw std::runtime_error(what + ": " + std::to_string(unmeshed) + " of its " +
                                 std::to_string(faces) + " faces cannot be meshed");

    // One mesh per colour, in the order the colours first appear.
    std::vector<std::pair<std::optional<Vec3>, Mesh>> groups;
    for (RWMesh_FaceIterator f(shape); f.More(); f.Next()) {
        if (f.IsEmptyMesh())
            continue;
        std::optional<Vec3> color;
        if (const Vec3* own = colors.Seek(f.Face()))
            color = *own;
        auto group = groups.begin();
        while (group != groups.end() &&
               !(group->first.has_value() == color.has_value() &&
                 (!color || (group->first->x == color->x && group->first->y == color->y &&
                             group->first->z == color->z))))
            ++group;
        if (group == groups.end())
            group = groups.insert(groups.end(), {color, Mesh{}});
        Mesh& mesh = group->second;
        const auto base = uint32_t(mesh.positions.size());
        const std::vector<bool> degenerated = on_degenerated_edge(f.Face(), f.Triangulation());
        for (int i = f.NodeLower(); i <= f.NodeUpper(); ++i) {
            mesh.positions.push_back(vec3(f.NodeTransformed(i).XYZ(), what));
            // Normals from the surface where the face has its parameters; a
            // zero normal takes its triangles' below.
            mesh.normals.push_back(f.HasNormals() && !degenerated[size_t(i)]
                                       ? vec3(f.NormalTransformed(i).XYZ(), what)
                                       : Vec3{});
        }
        for (int i = f.ElemLower(); i <= f.ElemUpper(); ++i) {
            int a = 0, b = 0, c = 0;
            f.TriangleOriented(i).Get(a, b, c);
            for (int node : {a, b, c})
                mesh.indices.push_back(base + uint32_t(node - f.NodeLower()));
        }
    }
    std::vector<FaceGroup> meshed;
    for (auto& [color, mesh] : groups) {
        mesh.repair_normals();
        meshed.push_back({std::make_shared<const Mesh>(std::move(mesh)), color});
    }
    return meshed;
}

} // namespace xr
