// STEP assemblies written through OpenCASCADE's STEP writer, with product
// and instance names, colours, a sub-assembly and repeated parts.
#pragma once

#include <string>
#include <vector>

// A gearbox in millimetres: a housing, two shafts, a gear pair, four bearings
// (a sub-assembly of two rings and eight balls) and eight bolts. Returns false,
// having said why on stderr, when it cannot be written.
bool write_gearbox(const std::string& path);

struct BoxPart {
    std::string name;
    double lo[3], hi[3]; // corners, in metres
    double color[3];     // linear
};

// The boxes as products in an assembly named `group`, written in metres.
bool write_boxes(const std::string& path, const char* group, const std::vector<BoxPart>& boxes);

// A 100 mm box and a cone as tall, its apex up, as one grey product: the box
// red and one of its faces green.
bool write_box_and_cone(const std::string& path);
