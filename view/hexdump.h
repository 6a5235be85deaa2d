#pragma once

#include <cstdint>
#include <string>

class CHexLine;
class CInputFile;

// "%08X - %08X" when the high half of nLast (taken as signed) is 0 or less, otherwise
// "%08X`%08X - %08X`%08X"; upper-case hexadecimal, at most 37 characters.
std::string FormatRange(uint64_t nFirst, uint64_t nLast);

// Appends up to five lines of the bytes the formatter holds, from data position nStart on,
// each ended by a line feed; a byte below nCommon that differs between p1 and p2 is
// bracketed, a run of them in one pair. p1 and p2 hold at least nCommon bytes each.
void AppendDumpLines(std::string& strOut, CHexLine& line, const uint8_t* p1, const uint8_t* p2,
                     int32_t nCommon, int32_t nStart);

// The cell detail text for bytes nFirst to nLast of both files: the range, then up to five
// lines of each file from two lines before the line of the first difference, the
// differences bracketed. What cannot be read is missing. The cell is scanned in chunks of
// at most 256 KiB per file, from mapped windows of regular files as the comparison's are,
// and only the bytes shown are kept, whatever its size; holes of
// both files are passed over unread, and a hole of one file is compared as zeros against the
// other's bytes. Empty when memory for the scan ran out.
std::string BuildHexDump(CInputFile& file1, CInputFile& file2, uint64_t nFirst, uint64_t nLast);
