#pragma once

#include <cstdint>
#include <string>

// How a number typed on the command line was read.
enum class ENumber {
    Ok,
    Bad,      // not a number of the form below
    TooLarge, // a number, but above the most allowed
};

// A count of bytes as GNU tools take sizes: decimal, or hexadecimal after 0x, then an optional
// unit: K (or k) M G T P E Z Y R Q for powers of 1024, the same with iB after them too (KiB),
// with B after them for powers of 1000 (kB, KB, MB). Hex digits are taken first, so 0x1E is
// 30. nValue is set only when Ok.
ENumber ParseByteCount(const std::string& strText, uint64_t nMax, uint64_t& nValue);
