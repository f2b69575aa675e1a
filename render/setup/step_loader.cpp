#include "render/setup/step_loader.h"

#include "render/material.h"
#include "render/output/progress_bar.h"
#include "render/setup/model_file_check.h"
#include "render/setup/model_loader.h"
#include "render/setup/part_names.h"
#include "render/setup/placement.h"
#include "render/setup/step_mesher.h"
#include "render/setup/step_structure.h"
#include "render/util/text.h"

#include <Message.hxx>
#include <Message_Messenger.hxx>
#include <Message_Printer.hxx>
#include <Message_ProgressIndicator.hxx>
#include <STEPCAFControl_Reader.hxx>
#include <STEPControl_Reader.hxx>
#include <Standard_Failure.hxx>
#include <StepData_StepModel.hxx>
#include <TDataStd_Name.hxx>
#include <TDocStd_Document.hxx>
#include <TopExp_Explorer.hxx>
#include <XCAFApp_Application.hxx>
#include <XCAFDoc_ColorTool.hxx>
#include <XCAFDoc_DocumentTool.hxx>
#include <XCAFDoc_ShapeTool.hxx>
#include <XCAFPrs_DocumentExplorer.hxx>

#include <tbb/parallel_for.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <mutex>
#include <stdexcept>
#include <unordered_map>

namespace xr {

namespace {

// OpenCASCADE reports through its messenger, whose printers write to this
// program's standard streams; instead, the last failure it reports on this
// thread is kept, for the one line that says why a file was refused.
class KeepLastFailure : public Message_Printer {
  public:
    static std::string& text() {
        thread_local std::string last;
        return last;
    }

  protected:
    void send(const TCollection_AsciiString& message,
              const Message_Gravity gravity) const override {
        if (gravity >= Message_Alarm) {
            std::string line = one_line(message.ToCString());
            // The parser frames its messages in stars.
            const size_t start = line.find_first_not_of("* ");
            const size_t end = line.find_last_not_of("* ");
            text() =
                start == std::string::npos ? "" : printable(line.substr(start, end - start + 1));
        }
    }
};

// OpenCASCADE's settings for every reading, made once.
void set_up_opencascade() {
    static std::once_flag once;
    std::call_once(once, [] {
        const Handle(Message_Messenger)& messenger = Message::DefaultMessenger();
        messenger->ChangePrinters().Clear();
        messenger->AddPrinter(new KeepLastFailure);
        // A shape the file leaves unnamed stays so, and takes its product's
        // name, not one made of its label's entry ("=>[0:1:1:2]").
        XCAFDoc_ShapeTool::SetAutoNaming(false);
    });
}

// The file's reading as OpenCASCADE's transfer reports it.
class TransferProgress : public Message_ProgressIndicator {
  public:
    // Shown at once: parsing the file, before the transfer, reports nothing.
    explicit TransferProgress(const std::string& file) : bar_("reading " + file) {
        bar_.update(0.0f);
    }
    ~TransferProgress() override { bar_.finish(); }

  protected:
    void Show(const Message_ProgressScope&, const Standard_Boolean) override {
        bar_.update(float(GetPosition()));
    }

  private:
    ProgressBar bar_;
};

// A document of OpenCASCADE's application, closed however the reading ends.
// The application keeps a list of its documents, which is not thread safe.
class Document {
  public:
    Document() {
        std::lock_guard<std::mutex> lock(mutex());
        XCAFApp_Application::GetApplication()->NewDocument("MDTV-XCAF", doc_);
    }
    ~Document() {
        std::lock_guard<std::mutex> lock(mutex());
        XCAFApp_Application::GetApplication()->Close(doc_);
    }
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;

    Handle(TDocStd_Document) & get() { return doc_; }

  private:
    static std::mutex& mutex() {
        static std::mutex m;
        return m;
    }
    Handle(TDocStd_Document) doc_;
};

std::string label_name(const TDF_Label& label) {
    Handle(TDataStd_Name) name;
    if (label.IsNull() || !label.FindAttribute(TDataStd_Name::GetID(), name))
        return "";
    return TCollection_AsciiString(name->Get()).ToCString();
}

Vec3 linear_rgb(const Quantity_Color& c) {
    // OpenCASCADE keeps colours linear; the file's are converted as read.
    return {float(c.Red()), float(c.Green()), float(c.Blue())};
}

Affine affine(const TopLoc_Location& location, const std::string& what) {
    const gp_Trsf t = location.Transformation();
    auto column = [&](int c) {
        return checked_vec3(t.Value(1, c), t.Value(2, c), t.Value(3, c), what);
    };
    return {{column(1), column(2), column(3)}, column(4)};
}

std::string file_name(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A product's shape, meshed once however many leaves use it.
struct Product {
    std::string name;
    TopoDS_Shape shape;
    FaceColors colors;
    size_t uses = 0;
    std::vector<FaceGroup> faces;
};

// A leaf of the assembly tree: one use of a product.
struct Leaf {
    std::string path;
    size_t product;
    Affine to_file;
    std::optional<Vec3> color; // its instance's, or its product's
};

class StepReader {
  public:
    StepReader(const ModelDescription& model, const std::string& path)
        : model_(model), path_(path), names_(path, model.name),
          to_world_(Placement(model.transform).affine()) {}

    std::vector<Part> read() {
        check_model_file(path_);
        check_step_numbers(path_);
        set_up_opencascade();
        KeepLastFailure::text().clear();
        Document doc;
        // The scene's unit is the metre, as glTF's is: the reader scales the
        // file's unit to the document's.
        XCAFDoc_DocumentTool::SetLengthUnit(doc.get(), 1.0);
        STEPCAFControl_Reader reader;
        reader.SetColorMode(true);
        reader.SetNameMode(true);
        reader.SetLayerMode(false);
        reader.SetPropsMode(false);
        reader.SetGDTMode(false);
        reader.SetMatMode(false);
        reader.SetViewMode(false);
        Handle(TransferProgress) progress = new TransferProgress(file_name(path_));
        if (reader.ReadFile(path_.c_str()) != IFSelect_RetDone)
            throw std::runtime_error(
                "cannot read " + path_ + ": not a STEP file, or cut short" +
                (KeepLastFailure::text().empty() ? "" : " (" + KeepLastFailure::text() + ")"));
        StepData_StepModel& file = *reader.ChangeReader().StepModel();
        check_references(file, path_);
        check_entities(file, path_);
        check_product_structure(file, path_);
        warnings_ = placement_warnings(file, path_);
        name_instances_by_products(file);
        if (!reader.Transfer(doc.get(), progress->Start()))
            throw std::runtime_error(path_ + " has no faces");
        progress.Nullify(); // its bar cleared
        walk(doc.get());
        mesh_products();
        std::vector<Part> parts = this->parts();
        // Once the file is read: a refused one has nothing to warn of.
        for (const std::string& warning : warnings_)
            std::fprintf(stderr, "warning: %s\n", printable(warning).c_str());
        return parts;
    }

  private:
    // Every leaf of the tree, and the products they use.
    void walk(const Handle(TDocStd_Document) & doc) {
        const Handle(XCAFDoc_ColorTool) colors = XCAFDoc_DocumentTool::ColorTool(doc->Main());
        for (XCAFPrs_DocumentExplorer e(doc, XCAFPrs_DocumentExplorerFlags_None); e.More();
             e.Next()) {
            const XCAFPrs_DocumentNode& node = e.Current();
            // The file's structure was checked, but assemblies may also nest
            // by their shapes' representations.
            if (e.CurrentDepth() >= max_node_depth)
                throw std::runtime_error(path_ + ": the assembly nests deeper than " +
                                         std::to_string(max_node_depth) + " levels, at '" +
                                         printable(path_of(e)) + "'");
            if (node.IsAssembly)
                continue;
            Leaf leaf;
            names_.add(path_of(e));
            leaf.product = product_of(node.RefLabel, *colors);
            leaf.to_file = affine(node.Location, path_);
            if (node.Style.IsSetColorSurf())
                leaf.color = linear_rgb(node.Style.GetColorSurf());
            ++products_[leaf.product].uses;
            leaves_.push_back(std::move(leaf));
        }
        // Siblings may share a name; the second becomes "name#2", as in other formats.
        const std::vector<std::string> names = names_.names();
        for (size_t i = 0; i < leaves_.size(); ++i)
            leaves_[i].path = names[i];
    }

    // The path of instance names down to the explorer's node; a node without
    // a name of its own takes its product's.
    std::string path_of(const XCAFPrs_DocumentExplorer& e) const {
        std::string path;
        for (int depth = 0; depth <= e.CurrentDepth(); ++depth) {
            const XCAFPrs_DocumentNode& node = e.Current(depth);
            std::string name = label_name(node.Label);
            if (name.empty())
                name = label_name(node.RefLabel);
            if (name.empty())
                name = "part";
            path += (path.empty() ? "" : "/") + name;
        }
        return utf8_text(path);
    }

    size_t product_of(const TDF_Label& label, XCAFDoc_ColorTool& colors) {
        const TopoDS_Shape shape = XCAFDoc_ShapeTool::GetShape(label);
        // By shape rather than label: the threads that mesh them must not
        // share a face.
        if (const size_t* known = product_index_.Seek(shape))
            return *known;
        Product product;
        product.name = label_name(label);
        product.shape = shape;
        TDF_LabelSequence subshapes;
        XCAFDoc_ShapeTool::GetSubShapes(label, subshapes);
        std::vector<std::pair<TopoDS_Shape, Vec3>> styled;
        for (const TDF_Label& sub : subshapes) {
            Quantity_Color c;
            if (colors.GetColor(sub, XCAFDoc_ColorSurf, c) ||
                colors.GetColor(sub, XCAFDoc_ColorGen, c))
                styled.emplace_back(XCAFDoc_ShapeTool::GetShape(sub), linear_rgb(c));
        }
        // Whatever order the file lists them in, a solid's colour goes on its
        // faces before a shell's, and a face's own goes on last.
        std::stable_sort(styled.begin(), styled.end(), [](const auto& a, const auto& b) {
            return a.first.ShapeType() < b.first.ShapeType();
        });
        for (const auto& [sub, color] : styled)
            for (TopExp_Explorer f(sub, TopAbs_FACE); f.More(); f.Next())
                product.colors.Bind(f.Current(), color);
        product_index_.Bind(shape, products_.size());
        products_.push_back(std::move(product));
        return products_.size() - 1;
    }

    void mesh_products() {
        ProgressBar bar("meshing " + std::to_string(products_.size()) + " shapes of " +
                        std::to_string(leaves_.size()) + " parts");
        std::atomic<size_t> meshed{0};
        std::string failure;
        std::mutex failure_mutex;
        tbb::parallel_for(size_t(0), products_.size(), [&](size_t i) {
            Product& product = products_[i];
            const std::string what = path_ + ": part '" + printable(product.name) + "'";
            // OpenCASCADE's exceptions are not std::exception: each is caught
            // in its thread and the first reported.
            try {
                product.faces =
                    mesh_shape(product.shape, product.colors, model_.tessellation, what);
            } catch (const std::exception& e) {
                std::lock_guard<std::mutex> lock(failure_mutex);
                failure = e.what();
            } catch (const Standard_Failure& e) {
                std::lock_guard<std::mutex> lock(failure_mutex);
                failure = what + " cannot be meshed: " + one_line(e.GetMessageString());
            }
            bar.update(float(++meshed) / float(products_.size()));
        });
        bar.finish();
        if (!failure.empty())
            throw std::runtime_error(failure);
    }

    std::vector<Part> parts() {
        // The bounds of each mesh that instances share, its own vertices checked.
        std::unordered_map<const Mesh*, Bounds> shared;
        for (const Product& product : products_)
            for (const FaceGroup& faces : product.faces)
                if (product.uses > 1) {
                    for (const Vec3& p : faces.mesh->positions)
                        check_placed_vertex(p, path_);
                    shared[faces.mesh.get()] = faces.mesh->bounds();
                }
        std::vector<Part> parts;
        size_t triangles = 0;
        for (const Leaf& leaf : leaves_) {
            const Product& product = products_[leaf.product];
            const Affine to_world = to_world_ * leaf.to_file;
            // A use that flattens space is a copy moved into place instead.
            const bool instanced = product.uses > 1 && instanceable(to_world);
            Part part;
            part.name = leaf.path;
            if (instanced)
                part.instance_of = product.name.empty() ? file_stem(path_) : product.name;
            for (const FaceGroup& faces : product.faces) {
                const Vec3 color = faces.color ? *faces.color : leaf.color.value_or(default_grey);
                if (instanced) {
                    check_placed_instance(shared.at(faces.mesh.get()), to_world, path_);
                    part.pieces.push_back({faces.mesh, color, to_world});
                } else {
                    auto mesh = std::make_shared<Mesh>(mapped(*faces.mesh, to_world));
                    // A map that flattens space leaves the normals nothing to turn to.
                    mesh->repair_normals();
                    for (const Vec3& p : mesh->positions)
                        check_placed_vertex(p, path_);
                    part.pieces.push_back({std::move(mesh), color});
                }
                triangles += faces.mesh->triangles();
            }
            if (!part.pieces.empty())
                parts.push_back(std::move(part));
        }
        if (triangles == 0)
            throw std::runtime_error(path_ + " has no faces");
        for (const Product& product : products_)
            if (product.faces.empty())
                warnings_.push_back(path_ + ": product '" + product.name + "' has no faces, so " +
                                    count_text(product.uses, "part") +
                                    (product.uses == 1 ? " is" : " are") + " left out");
        return parts;
    }

    const ModelDescription& model_;
    std::string path_;
    PartNames names_;
    Affine to_world_;
    std::vector<Product> products_;
    NCollection_DataMap<TopoDS_Shape, size_t, TopTools_ShapeMapHasher> product_index_;
    std::vector<Leaf> leaves_;
    std::vector<std::string> warnings_;
};

} // namespace

bool is_step_file(const std::string& path) {
    const std::string extension = lowercase_extension(path);
    return extension == "step" || extension == "stp";
}

std::vector<Part> load_step(const ModelDescription& model, const std::string& path) {
    try {
        return StepReader(model, path).read();
    } catch (const Standard_Failure& e) {
        throw std::runtime_error("cannot read " + path + ": " + one_line(e.GetMessageString()));
    }
}

} // namespace xr
