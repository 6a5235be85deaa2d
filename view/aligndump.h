#pragma once

#include <cstdint>
#include <string>

class CAlignment;
struct CAlignSegment;
class CInputFile;

// The detail text of an aligned map's cell, file-1 bytes nFirst to nLast: the range, the
// segments the cell holds (each with both files' offsets; a shifted one says "file 2 at +N",
// an insertion its length and where it lies in file 2), and, for a cell that is not all equal
// in place, up to five lines of each file from two lines before the line where the first such
// segment begins. The lines run along the alignment, so that equal bytes stand above each
// other whatever their shift; where one file has no bytes against the other's (inserted,
// deleted) its fields read "..", where it could not be read "??", and differing bytes facing
// each other are bracketed.
std::string BuildAlignDetail(const CAlignment& alignment, CInputFile& file1, CInputFile& file2,
                             uint64_t nFirst, uint64_t nLast);

// One segment as the detail lists it, e.g. "equal 00000010 - 0000001F, file 2 at +1: 00000011 -
// 00000020" or "inserted 3 bytes before 00000010, file 2 00000010 - 00000012".
std::string FormatAlignSegment(const CAlignSegment& s);
