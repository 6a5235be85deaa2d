#pragma once

#include <cstdint>
#include <memory>
#include <string>

class CAlignment;
class CCellGeometry;

// The aligned report: the summary line "segments=N equal=N different=N inserted=N deleted=N
// moved=N read_error=N complete=yes|no", then one line per segment that is not equal at the same
// offset: KIND 0xOFFSET1+LENGTH1 0xOFFSET2+LENGTH2, offsets in 16 hex digits, lengths in
// decimal, and for equal and moved ones the shift (offset2 - offset1) as a signed decimal.
std::string FormatAlignReport(const CAlignment& alignment);

// The value of the JSON member "alignment": {"complete": ..., "segments": [...]}, every segment
// in file-1 order with the engine's kind names.
std::string FormatJsonAlignment(const CAlignment& alignment);

// The read-error segments, which make the answer trouble.
uint64_t CountUnreadable(const CAlignment& alignment);

// 0 when the files are identical (one equal segment at the same offsets, or both empty), 2 when a
// part could not be read, 1 otherwise: an incomplete alignment is still an answer.
int AlignExitStatus(const CAlignment& alignment);

// The aligned map at w x h in file 1's offsets: each cell in the colour of the worst its bytes
// hold (CAlignment::WorstKind); the background alone when file 1 is empty. The geometry has been
// set for file 1's length. Null when memory ran out.
std::unique_ptr<uint32_t[]> RenderAlignMap(CCellGeometry& geometry, const CAlignment& alignment,
                                           int32_t w, int32_t h);
