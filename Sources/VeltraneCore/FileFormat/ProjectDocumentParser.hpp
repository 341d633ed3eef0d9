#pragma once

// Parses the text of a project file into a JSON tree, reading the pattern grids as they arrive: each row
// of cells becomes document cells as soon as its closing bracket is read, so the tree never holds the
// hundreds of thousands of cell objects a large project has. Every input ends in a tree or in
// `ProjectError::unreadable`: the parser loops rather than recursing, refuses nesting deeper than
// `maxProjectDocumentDepth` (the format itself nests at most nine levels), and refuses numbers beyond the
// range of a Double, which would otherwise arrive as infinities, and numbers written with more than
// `maxProjectNumberLength` characters. Reading costs memory in proportion to what the document holds,
// not to its white space or the digits of a number, and an error names the line and column and quotes a
// few dozen characters around the fault, whatever the text holds.

#include "VeltraneCore/FileFormat/ProjectReading.hpp"

#include <cstddef>
#include <string_view>

namespace veltrane::fileformat {

inline constexpr std::size_t maxProjectDocumentDepth = 128;
/// Room for every Double written out in full, digit for digit (the smallest takes some 1,080
/// characters); what we write takes at most 24.
inline constexpr std::size_t maxProjectNumberLength = 4096;

struct ParsedProjectDocument {
    Json root;
    ParsedGrids grids; // see ProjectReading.hpp
};

ParsedProjectDocument parseProjectDocument(std::string_view text);

/// The project of a file's text exactly as written: parsed and read, the version neither checked nor
/// changed, nothing repaired.
ProjectReadResult readProjectText(std::string_view text);

} // namespace veltrane::fileformat
