#include "tests/render/step_assembly.h"

#include <APIHeaderSection_MakeHeader.hxx>
#include <BRepAdaptor_Surface.hxx>
#include <BRepAlgoAPI_Cut.hxx>
#include <BRepAlgoAPI_Fuse.hxx>
#include <BRepBuilderAPI_MakeFace.hxx>
#include <BRepBuilderAPI_MakePolygon.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCone.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <BRepPrimAPI_MakePrism.hxx>
#include <BRepPrimAPI_MakeSphere.hxx>
#include <BRep_Builder.hxx>
#include <Interface_Static.hxx>
#include <Message.hxx>
#include <Message_Messenger.hxx>
#include <Quantity_Color.hxx>
#include <STEPCAFControl_Writer.hxx>
#include <TDataStd_Name.hxx>
#include <TDocStd_Document.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Compound.hxx>
#include <XCAFApp_Application.hxx>
#include <XCAFDoc_ColorTool.hxx>
#include <XCAFDoc_DocumentTool.hxx>
#include <XCAFDoc_ShapeTool.hxx>
#include <XSControl_WorkSession.hxx>

#include <cmath>
#include <cstdio>
#include <string>

namespace {

// The cylinder along x from x0 to x0 + length.
TopoDS_Shape rod(double radius, double x0, double length) {
    return BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(x0, 0, 0), gp::DX()), radius, length).Shape();
}

// A ring about x, centred on the origin.
TopoDS_Shape ring(double inner, double outer, double width) {
    return BRepAlgoAPI_Cut(rod(outer, -0.5 * width, width), rod(inner, -width, 2 * width)).Shape();
}

// A spur gear turning about x: its toothed outline extruded, bored for a shaft.
TopoDS_Shape gear(int teeth, double module, double width, double bore) {
    const double pitch = 0.5 * module * teeth, tip = pitch + module, root = pitch - 1.25 * module;
    BRepBuilderAPI_MakePolygon outline;
    for (int i = 0; i < teeth; ++i) {
        const double a = 2 * M_PI * i / teeth, step = 2 * M_PI / teeth;
        for (const auto& [angle, radius] :
             {std::pair{a, root}, std::pair{a + 0.15 * step, tip}, std::pair{a + 0.45 * step, tip},
              std::pair{a + 0.6 * step, root}})
            outline.Add(gp_Pnt(-0.5 * width, radius * std::cos(angle), radius * std::sin(angle)));
    }
    outline.Close();
    const TopoDS_Face face = BRepBuilderAPI_MakeFace(outline.Wire(), true);
    const TopoDS_Shape body = BRepPrimAPI_MakePrism(face, gp_Vec(width, 0, 0)).Shape();
    return BRepAlgoAPI_Cut(body, rod(bore, -width, 2 * width)).Shape();
}

// A hexagon-headed bolt standing on the origin along y, its shank below.
TopoDS_Shape bolt() {
    BRepBuilderAPI_MakePolygon hexagon;
    for (int i = 0; i < 6; ++i) {
        const double a = M_PI / 3 * i;
        hexagon.Add(gp_Pnt(8 * std::cos(a), 0, 8 * std::sin(a)));
    }
    hexagon.Close();
    const TopoDS_Shape head =
        BRepPrimAPI_MakePrism(BRepBuilderAPI_MakeFace(hexagon.Wire(), true), gp_Vec(0, 8, 0))
            .Shape();
    const TopoDS_Shape shank =
        BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(0, -20, 0), gp::DY()), 4, 20.5).Shape();
    return BRepAlgoAPI_Fuse(head, shank).Shape();
}

TopoDS_Shape hollow_box(gp_Pnt lo, gp_Pnt hi, double wall) {
    const gp_Vec inset(wall, wall, wall);
    return BRepAlgoAPI_Cut(BRepPrimAPI_MakeBox(lo, hi).Shape(),
                           BRepPrimAPI_MakeBox(lo.Translated(inset), hi.Translated(-inset)).Shape())
        .Shape();
}

TopLoc_Location at(double x, double y, double z) {
    gp_Trsf t;
    t.SetTranslation(gp_Vec(x, y, z));
    return TopLoc_Location(t);
}

class Assembly {
  public:
    // Shapes are given in millimetres, or in metres.
    explicit Assembly(bool metres = false) : metres_(metres) {
        // OpenCASCADE's progress and warnings are not this program's output.
        Message::DefaultMessenger()->RemovePrinters(STANDARD_TYPE(Message_Printer));
        XCAFApp_Application::GetApplication()->NewDocument("MDTV-XCAF", doc_);
        if (metres)
            XCAFDoc_DocumentTool::SetLengthUnit(doc_, 1.0);
        shapes_ = XCAFDoc_DocumentTool::ShapeTool(doc_->Main());
        colors_ = XCAFDoc_DocumentTool::ColorTool(doc_->Main());
    }
    ~Assembly() { XCAFApp_Application::GetApplication()->Close(doc_); }
    Assembly(const Assembly&) = delete;
    Assembly& operator=(const Assembly&) = delete;

    // A product of one shape, in a colour.
    TDF_Label product(const char* name, const TopoDS_Shape& shape, Quantity_Color color) {
        const TDF_Label label = shapes_->AddShape(shape, false);
        TDataStd_Name::Set(label, name);
        colors_->SetColor(label, color, XCAFDoc_ColorSurf);
        return label;
    }
    TDF_Label assembly(const char* name) {
        const TDF_Label label = shapes_->NewShape();
        TDataStd_Name::Set(label, name);
        return label;
    }
    TDF_Label place(const TDF_Label& in, const TDF_Label& what, const std::string& name,
                    const TopLoc_Location& where) {
        const TDF_Label label = shapes_->AddComponent(in, what, where);
        TDataStd_Name::Set(label, name.c_str());
        return label;
    }
    // The faces of the product's shape that lie in planes, in their own colour.
    void color_flat_faces(const TDF_Label& product, Quantity_Color color) {
        for (TopExp_Explorer f(XCAFDoc_ShapeTool::GetShape(product), TopAbs_FACE); f.More();
             f.Next())
            if (BRepAdaptor_Surface(TopoDS::Face(f.Current())).GetType() == GeomAbs_Plane)
                colors_->SetColor(shapes_->AddSubShape(product, f.Current()), color,
                                  XCAFDoc_ColorSurf);
    }
    TDF_Label sub_shape(const TDF_Label& product, const TopoDS_Shape& shape) {
        return shapes_->AddSubShape(product, shape);
    }
    void color(const TDF_Label& label, Quantity_Color color) {
        colors_->SetColor(label, color, XCAFDoc_ColorSurf);
    }

    bool write(const std::string& path) {
        shapes_->UpdateAssemblies();
        Interface_Static::SetCVal("write.step.unit", metres_ ? "M" : "MM");
        STEPCAFControl_Writer writer;
        writer.SetColorMode(true);
        writer.SetNameMode(true);
        if (!writer.Transfer(doc_, STEPControl_AsIs)) {
            std::fprintf(stderr, "model_generator: cannot transfer the assembly to STEP\n");
            return false;
        }
        // The same file each time: no date in its header.
        APIHeaderSection_MakeHeader header(writer.ChangeWriter().Model());
        header.SetTimeStamp(new TCollection_HAsciiString("2024-01-01T00:00:00"));
        header.SetOriginatingSystem(new TCollection_HAsciiString("model_generator"));
        header.Apply(writer.ChangeWriter().Model());
        if (writer.Write(path.c_str()) != IFSelect_RetDone) {
            std::fprintf(stderr, "model_generator: cannot write %s\n", path.c_str());
            return false;
        }
        return true;
    }

  private:
    bool metres_;
    Handle(TDocStd_Document) doc_;
    Handle(XCAFDoc_ShapeTool) shapes_;
    Handle(XCAFDoc_ColorTool) colors_;
};

Quantity_Color rgb(double r, double g, double b) {
    return Quantity_Color(r, g, b, Quantity_TOC_RGB); // linear
}

} // namespace

bool write_gearbox(const std::string& path) {
    Assembly a;
    const Quantity_Color steel = rgb(0.55, 0.56, 0.6);
    const TDF_Label housing =
        a.product("housing", hollow_box(gp_Pnt(-130, -75, -70), gp_Pnt(130, 75, 70), 8),
                  rgb(0.25, 0.45, 0.8));
    const TDF_Label shaft = a.product("shaft", rod(12, -160, 320), steel);
    a.color_flat_faces(shaft, rgb(0.9, 0.35, 0.05)); // the ends
    const TDF_Label small = a.product("gear_small", gear(12, 3, 24, 12), rgb(0.8, 0.55, 0.15));
    const TDF_Label large = a.product("gear_large", gear(22, 3, 24, 12), rgb(0.6, 0.33, 0.15));

    const TDF_Label bearing = a.assembly("bearing");
    a.place(bearing, a.product("ring_outer", ring(18.5, 24, 12), rgb(0.7, 0.7, 0.72)), "ring_outer",
            {});
    a.place(bearing, a.product("ring_inner", ring(12, 15.5, 12), rgb(0.7, 0.7, 0.72)), "ring_inner",
            {});
    const TDF_Label ball =
        a.product("ball", BRepPrimAPI_MakeSphere(1.6).Shape(), rgb(0.85, 0.85, 0.9));
    for (int i = 0; i < 8; ++i) {
        const double angle = M_PI / 4 * i;
        a.place(bearing, ball, "ball:" + std::to_string(i + 1),
                at(0, 17 * std::cos(angle), 17 * std::sin(angle)));
    }
    const TDF_Label bolt_product = a.product("bolt", bolt(), rgb(0.15, 0.15, 0.17));

    const TDF_Label gearbox = a.assembly("gearbox");
    a.place(gearbox, housing, "housing", {});
    const double shafts[] = {25.5, -25.5};
    for (int i = 0; i < 2; ++i)
        a.place(gearbox, shaft, "shaft:" + std::to_string(i + 1), at(0, shafts[i], 0));
    a.place(gearbox, small, "gear_small", at(0, shafts[0], 0));
    a.place(gearbox, large, "gear_large", at(0, shafts[1], 0));
    for (int i = 0; i < 4; ++i)
        a.place(gearbox, bearing, "bearing:" + std::to_string(i + 1),
                at(i % 2 ? 126 : -126, shafts[i / 2], 0));
    for (int i = 0; i < 8; ++i) {
        const TDF_Label placed = a.place(gearbox, bolt_product, "bolt:" + std::to_string(i + 1),
                                         at(-110 + 220.0 / 3 * (i % 4), 75, i < 4 ? 55 : -55));
        if (i == 0) // a marked bolt: a colour of its own instance
            a.color(placed, rgb(0.8, 0.05, 0.05));
    }
    return a.write(path);
}

bool write_boxes(const std::string& path, const char* group, const std::vector<BoxPart>& boxes) {
    Assembly a(true);
    const TDF_Label assembly = a.assembly(group);
    for (const BoxPart& b : boxes) {
        const gp_Pnt lo(b.lo[0], b.lo[1], b.lo[2]), hi(b.hi[0], b.hi[1], b.hi[2]);
        a.place(assembly,
                a.product(b.name.c_str(), BRepPrimAPI_MakeBox(lo, hi).Shape(),
                          rgb(b.color[0], b.color[1], b.color[2])),
                b.name, {});
    }
    return a.write(path);
}

bool write_box_and_cone(const std::string& path) {
    TopoDS_Compound both;
    BRep_Builder builder;
    builder.MakeCompound(both);
    const TopoDS_Shape box = BRepPrimAPI_MakeBox(100, 100, 100).Shape();
    builder.Add(both, box);
    builder.Add(both,
                BRepPrimAPI_MakeCone(gp_Ax2(gp_Pnt(200, 0, 0), gp::DZ()), 50, 0, 100).Shape());
    Assembly a;
    const TDF_Label product = a.product("pair", both, rgb(0.5, 0.5, 0.5));
    a.color(a.sub_shape(product, box), rgb(1, 0, 0));
    a.color(a.sub_shape(product, TopExp_Explorer(box, TopAbs_FACE).Current()), rgb(0, 1, 0));
    return a.write(path);
}
