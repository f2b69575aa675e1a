// STEP assemblies written through OpenCASCADE's STEP writer, with product
// and instance names, colours, a sub-assembly and repeated parts.
#pragma once

#include <string>

// A gearbox in millimetres: a housing, two shafts, a gear pair, four bearings
// (a sub-assembly of two rings and eight balls) and eight bolts. Returns false,
// having said why on stderr, when it cannot be written.
bool write_gearbox(const std::string& path);
