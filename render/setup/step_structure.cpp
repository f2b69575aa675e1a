#include "render/setup/step_structure.h"

#include "render/setup/model_file_check.h"
#include "render/setup/node_expansion.h"
#include "render/util/byte_stream.h"
#include "render/util/regular_file.h"
#include "render/util/text.h"
#include "render/util/vec.h"

#include <Interface_Check.hxx>
#include <StepBasic_Product.hxx>
#include <StepBasic_ProductDefinition.hxx>
#include <StepBasic_ProductDefinitionFormation.hxx>
#include <StepData_Protocol.hxx>
#include <StepData_ReadWriteModule.hxx>
#include <StepData_StepModel.hxx>
#include <StepData_WriterLib.hxx>
#include <StepGeom_CartesianPoint.hxx>
#include <StepGeom_CartesianTransformationOperator3d.hxx>
#include <StepGeom_Direction.hxx>
#include <StepRepr_ItemDefinedTransformation.hxx>
#include <StepRepr_MappedItem.hxx>
#include <StepRepr_NextAssemblyUsageOccurrence.hxx>
#include <StepRepr_ProductDefinitionShape.hxx>
#include <StepRepr_Representation.hxx>
#include <StepRepr_RepresentationItem.hxx>
#include <StepRepr_RepresentationMap.hxx>
#include <StepRepr_RepresentationRelationship.hxx>
#include <StepRepr_RepresentationRelationshipWithTransformation.hxx>
#include <StepShape_ContextDependentShapeRepresentation.hxx>
#include <StepShape_ShapeDefinitionRepresentation.hxx>
#include <TColStd_SequenceOfAsciiString.hxx>

#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <unordered_map>
#include <unordered_set>

namespace xr {

namespace {

using Definition = const StepBasic_ProductDefinition*;

std::string product_name(Definition d) {
    const Handle(StepBasic_ProductDefinitionFormation) formation = d->Formation();
    if (formation.IsNull() || formation->OfProduct().IsNull() ||
        formation->OfProduct()->Name().IsNull())
        return "(unnamed)";
    return formation->OfProduct()->Name()->ToCString();
}

// The entity as the file writes it: "ADVANCED_FACE", or the types of a
// complex one in parentheses.
std::string step_type(const StepData_StepModel& model, const Handle(Standard_Transient) & entity) {
    StepData_WriterLib types(Handle(StepData_Protocol)::DownCast(model.Protocol()));
    Handle(StepData_ReadWriteModule) module;
    Standard_Integer kind = 0;
    if (!types.Select(entity, module, kind))
        return entity->DynamicType()->Name();
    if (!module->IsComplex(kind))
        return module->StepType(kind).ToCString();
    TColStd_SequenceOfAsciiString parts;
    module->ComplexType(kind, parts);
    std::string type;
    for (const TCollection_AsciiString& part : parts)
        type += (type.empty() ? "(" : " ") + std::string(part.ToCString());
    return type + ")";
}

// "#12 (ADVANCED_FACE)", for messages.
std::string entity_text(const StepData_StepModel& model,
                        const Handle(Standard_Transient) & entity) {
    return model.StringLabel(entity)->ToCString() + std::string(" (") + step_type(model, entity) +
           ")";
}

// The product whose shape a definition's representation is, if any.
Definition shaped_product(const StepShape_ShapeDefinitionRepresentation& sdr) {
    const Handle(StepRepr_PropertyDefinition) property = sdr.Definition().PropertyDefinition();
    return property.IsNull() ? nullptr : property->Definition().ProductDefinition().get();
}

bool maps_others(const StepRepr_Representation& rep) {
    for (int i = 1; i <= rep.NbItems(); ++i)
        if (dynamic_cast<const StepRepr_MappedItem*>(rep.ItemsValue(i).get()))
            return true;
    return false;
}

Vec3 axis(const Handle(StepGeom_Direction) & d, Vec3 otherwise) {
    if (d.IsNull())
        return otherwise;
    float a[3] = {};
    for (int i = 0; i < 3 && i < d->NbDirectionRatios(); ++i)
        a[i] = float(d->DirectionRatiosValue(i + 1));
    return {a[0], a[1], a[2]};
}

// Whether the operator's axes are left-handed. Its axes are made
// orthonormal, third, first, second, each of the later ones with what lies
// along the earlier taken away: the set is mirrored when the second given
// points against the third crossed with the first.
bool mirrors(const StepGeom_CartesianTransformationOperator3d& op) {
    if (!op.HasAxis2())
        return false;
    const Vec3 third = axis(op.HasAxis3() ? op.Axis3() : nullptr, {0, 0, 1});
    Vec3 first = axis(op.HasAxis1() ? op.Axis1() : nullptr, {1, 0, 0});
    if (!op.HasAxis1() && third.y == 0 && third.z == 0)
        first = {0, 1, 0};
    return dot(axis(op.Axis2(), {}), cross(third, first)) < 0;
}

bool blank(const Handle(TCollection_HAsciiString) & text) {
    return text.IsNull() || text->UsefullLength() == 0;
}

} // namespace

void check_product_structure(const StepData_StepModel& model, const std::string& file) {
    // Products and the representations their shapes map, as nodes.
    std::vector<Handle(Standard_Transient)> entities;
    std::unordered_map<const Standard_Transient*, size_t> index;
    NodeUses uses;
    std::vector<bool> used; // a part of another
    auto node = [&](const Standard_Transient* e) {
        const auto [at, added] = index.try_emplace(e, entities.size());
        if (added) {
            entities.push_back(e);
            uses.emplace_back();
            used.push_back(false);
        }
        return at->second;
    };
    auto link = [&](const Standard_Transient* whole, const Standard_Transient* part) {
        if (!whole || !part)
            return;
        const size_t w = node(whole), p = node(part);
        uses[w].push_back(p);
        used[p] = true;
    };
    // The products whose shape each representation is, for the relationships
    // OpenCASCADE follows from them to more of the product's shape.
    std::unordered_map<const StepRepr_Representation*, std::vector<Definition>> shapes;
    std::vector<const StepRepr_ShapeRepresentationRelationship*> hybrids;
    for (int i = 1; i <= model.NbEntities(); ++i) {
        const Standard_Transient* e = model.Value(i).get();
        if (const auto* instance = dynamic_cast<const StepRepr_NextAssemblyUsageOccurrence*>(e)) {
            link(instance->RelatingProductDefinition().get(),
                 instance->RelatedProductDefinition().get());
        } else if (const auto* sdr =
                       dynamic_cast<const StepShape_ShapeDefinitionRepresentation*>(e)) {
            const Definition product = shaped_product(*sdr);
            const StepRepr_Representation* rep = sdr->UsedRepresentation().get();
            if (!product || !rep)
                continue;
            shapes[rep].push_back(product);
            // A representation that maps none adds no level.
            if (maps_others(*rep))
                link(product, rep);
        } else if (const auto* rep = dynamic_cast<const StepRepr_Representation*>(e)) {
            for (int k = 1; k <= rep->NbItems(); ++k)
                if (const auto* mapped =
                        dynamic_cast<const StepRepr_MappedItem*>(rep->ItemsValue(k).get()))
                    if (!mapped->MappingSource().IsNull())
                        link(rep, mapped->MappingSource()->MappedRepresentation().get());
        } else if (e->DynamicType() == STANDARD_TYPE(StepRepr_ShapeRepresentationRelationship)) {
            // Only this type, not its subtypes with a transformation.
            hybrids.push_back(static_cast<const StepRepr_ShapeRepresentationRelationship*>(e));
        }
    }
    for (const StepRepr_ShapeRepresentationRelationship* r : hybrids)
        for (const auto& [from, to] : {std::pair{r->Rep1().get(), r->Rep2().get()},
                                       std::pair{r->Rep2().get(), r->Rep1().get()}})
            if (const auto at = shapes.find(from); at != shapes.end() && to && maps_others(*to))
                for (const Definition product : at->second)
                    link(product, to);
    std::vector<size_t> wholes;
    for (size_t n = 0; n < uses.size(); ++n)
        if (!uses[n].empty())
            wholes.push_back(n);
    // Every use of a product below another adds its parts again: what the
    // reader expands.
    const Expanded expanded = expand_nodes(uses, wholes, Counted::leaves, max_node_depth);
    const ExpansionFault& fault = expanded.fault;
    auto named = [&](size_t n) {
        if (const auto* d = dynamic_cast<Definition>(entities[n].get()))
            return "product '" + printable(product_name(d)) + "'";
        return "representation " + std::string(model.StringLabel(entities[n])->ToCString());
    };
    switch (fault.kind) {
    case ExpansionFault::Kind::none:
        break;
    case ExpansionFault::Kind::loop:
        throw std::runtime_error(
            file + ": " + named(fault.node) + " contains itself" +
            (fault.through == fault.node ? std::string() : ", through " + named(fault.through)));
    case ExpansionFault::Kind::too_deep:
        throw std::runtime_error(file + ": the assembly nests deeper than " +
                                 std::to_string(max_node_depth) + " levels, at " +
                                 named(fault.node));
    case ExpansionFault::Kind::too_many:
        throw std::runtime_error(file + ": the assembly expands to more than " +
                                 std::to_string(max_expanded_nodes) + " parts, at " +
                                 named(fault.node));
    }
    // The reader transfers every assembly that is no other's part.
    size_t parts = 0;
    for (const size_t n : wholes)
        if (!used[n])
            parts += expanded.nodes[n].count;
    if (parts > max_expanded_nodes)
        throw std::runtime_error(file + ": the assembly expands to more than " +
                                 std::to_string(max_expanded_nodes) + " parts");
}

namespace {

// The largest real the reader hands the geometry kernel: beyond it, squares
// overflow, and its shape healing crashed or its mesher looped for ever. It
// is far beyond any model's size in any unit, and above the kernel's own
// infinity (2e100), which an exporter may write.
constexpr double max_step_real = 1e150;

// A parameter's text, "-1.5E3": refused when it is a number beyond
// max_step_real. What is not a number (".T.") is the parser's to judge. Read
// whole, however long, with strtod (the program keeps the C locale): unlike
// from_chars, it tells a number too large for a double from one too small.
void check_real(const std::string& text, const std::string& file, size_t line) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || std::fabs(value) <= max_step_real)
        return;
    constexpr size_t shown = 64;
    char bound[16];
    std::snprintf(bound, sizeof bound, "%g", max_step_real);
    throw std::runtime_error(file + ": the number " + text.substr(0, shown) +
                             (text.size() > shown ? "..." : "") + " on line " +
                             std::to_string(line) + " is beyond ±" + bound +
                             ", the largest the reader takes");
}

} // namespace

void check_step_numbers(const std::string& file) {
    const RegularFile text = open_to_read(file);
    ByteStream in(text);
    // Numbers outside strings and comments; a string's '' quote, closing and
    // opening it, reads as text. A parameter's number follows '(' or ','.
    bool quoted = false, comment = false, numbering = false, measuring = false;
    std::string number;   // an entity's, without its leading zeros, and cut at 20 digits
    std::string real;     // a parameter's
    int before = 0;       // the last character outside strings, comments and blanks
    int before_slash = 0; // `before` as it was before the last '/', which may open a comment
    size_t line = 1;
    for (int c = in.get(), previous = 0;; previous = c, c = in.get()) {
        if (numbering && c >= '0' && c <= '9') {
            if ((c != '0' || !number.empty()) && number.size() < 20)
                number += char(c);
            continue;
        }
        if (numbering && (number.size() > 10 || (!number.empty() && std::stoull(number) > INT_MAX)))
            throw std::runtime_error(
                file + " names entity #" + number + " on line " + std::to_string(line) +
                ", beyond the reader's numbers (up to " + std::to_string(INT_MAX) + ")");
        numbering = false;
        if (measuring && c > 0 && (std::isdigit(c) || std::strchr(".Ee+-", c))) {
            real += char(c);
            continue;
        }
        if (measuring)
            check_real(real, file, line);
        measuring = false;
        if (c == -1)
            return;
        line += c == '\n';
        if (comment) {
            comment = !(previous == '*' && c == '/');
            c = comment ? c : 0; // "*/*" closes a comment and opens none
        } else if (c == '\'') {
            quoted = !quoted;
        } else if (!quoted && previous == '/' && c == '*') {
            comment = true;
            c = 0; // "/*/" opens a comment and does not close it
            before = before_slash;
        } else if (!quoted && c == '#') {
            numbering = true;
            number.clear();
        } else if (!quoted && (before == '(' || before == ',') &&
                   (std::isdigit(c) || std::strchr(".+-", c))) {
            measuring = true;
            real.assign(1, char(c));
        }
        // A comment is read past as a blank: the reader drops it anywhere.
        if (!quoted && !comment && c != 0 && !std::isspace(c)) {
            before_slash = before;
            before = c;
        }
    }
}

void check_references(const StepData_StepModel& model, const std::string& file) {
    const Interface_Check& check = *model.GlobalCheck();
    for (int i = 1; i <= check.NbFails(); ++i) {
        // Known by the reader's message before it is formatted; the formatted
        // one ends "(Id.#N)", naming the entity.
        if (std::string(check.CFail(i, false)) != "Unresolved Reference")
            continue;
        const std::string fail = check.CFail(i);
        const size_t id = fail.rfind("Id.#");
        const std::string entity =
            id == std::string::npos ? fail : fail.substr(id + 3, fail.find(')', id) - id - 3);
        throw std::runtime_error(file + " refers to entity " + one_line(entity) +
                                 ", which it does not define");
    }
}

namespace {

// Entities OpenCASCADE follows to build the shapes and place them: geometry
// and topology, representations, and the links and transformations between
// them. A slip elsewhere (a product's context, a protocol's year) is read
// past, as it was, since exporters leave such slips in many files.
bool builds_shapes(const Standard_Transient* e) {
    return dynamic_cast<const StepRepr_RepresentationItem*>(e) ||
           dynamic_cast<const StepRepr_Representation*>(e) ||
           dynamic_cast<const StepRepr_RepresentationMap*>(e) ||
           dynamic_cast<const StepRepr_RepresentationRelationship*>(e) ||
           dynamic_cast<const StepRepr_ItemDefinedTransformation*>(e) ||
           dynamic_cast<const StepShape_ContextDependentShapeRepresentation*>(e) ||
           dynamic_cast<const StepRepr_NextAssemblyUsageOccurrence*>(e);
}

} // namespace

void check_entities(const StepData_StepModel& model, const std::string& file) {
    for (int i = 1; i <= model.NbEntities(); ++i) {
        const Handle(Interface_Check)& check = model.Check(i, true);
        if (!check.IsNull() && check->HasFailed() && builds_shapes(model.Value(i).get()))
            throw std::runtime_error(file + ": entity " + entity_text(model, model.Value(i)) +
                                     " cannot be read: " + printable(one_line(check->CFail(1))));
    }
}

std::vector<std::string> placement_warnings(const StepData_StepModel& model,
                                            const std::string& file) {
    std::vector<std::string> warnings;
    std::unordered_set<const Standard_Transient*> seen;
    auto check = [&](const Handle(Standard_Transient) & placement) {
        const auto* op =
            dynamic_cast<const StepGeom_CartesianTransformationOperator3d*>(placement.get());
        if (!op || !seen.insert(op).second)
            return;
        const bool scales = op->HasScale() && op->Scale() != 1.0, mirrored = mirrors(*op);
        if (!scales && !mirrored)
            return;
        const bool both = scales && mirrored;
        warnings.push_back(file + ": placement " + entity_text(model, placement) + " " +
                           (both     ? "mirrors and scales"
                            : scales ? "scales"
                                     : "mirrors") +
                           " its part, which is drawn " +
                           (both     ? "unmirrored and unscaled"
                            : scales ? "unscaled"
                                     : "unmirrored"));
    };
    for (int i = 1; i <= model.NbEntities(); ++i) {
        const Standard_Transient* e = model.Value(i).get();
        if (const auto* mapped = dynamic_cast<const StepRepr_MappedItem*>(e)) {
            check(mapped->MappingTarget());
        } else if (const auto* pair = dynamic_cast<const StepRepr_ItemDefinedTransformation*>(e)) {
            check(pair->TransformItem1());
            check(pair->TransformItem2());
        } else if (const auto* relation =
                       dynamic_cast<const StepRepr_RepresentationRelationshipWithTransformation*>(
                           e)) {
            check(relation->TransformationOperator().Value());
        }
    }
    return warnings;
}

void name_instances_by_products(StepData_StepModel& model) {
    for (int i = 1; i <= model.NbEntities(); ++i) {
        auto* instance = dynamic_cast<StepRepr_NextAssemblyUsageOccurrence*>(model.Value(i).get());
        if (instance && blank(instance->Name()) &&
            (!instance->HasDescription() || blank(instance->Description())))
            instance->SetId(new TCollection_HAsciiString());
    }
}

} // namespace xr
