#pragma once

#include <atomic>
#include <cstdint>

class CAlignReader;

// How many of the nCount bytes at a and b agree from the start on (nCount when all do).
uint64_t CommonPrefix(const uint8_t* a, const uint8_t* b, uint64_t nCount);
// How many agree from the end back.
uint64_t CommonSuffix(const uint8_t* a, const uint8_t* b, uint64_t nCount);
// How many of the nCount bytes at p are zero from the start on.
uint64_t ZeroPrefix(const uint8_t* p, uint64_t nCount);
// How many of the nCount bytes at p are c from the start on.
uint64_t SamePrefix(const uint8_t* p, uint64_t nCount, uint8_t c);

// How many bytes, at most nMax, file 1 from n1 on and file 2 from n2 on have in common, read as
// needed; holes facing holes agree unread. Stops early, saying less, at an unreadable byte, an
// end or an abort: a common stretch is only ever proven, never assumed.
uint64_t CommonAfter(CAlignReader& r1, uint64_t n1, CAlignReader& r2, uint64_t n2, uint64_t nMax,
                     const std::atomic<uint8_t>* pAbort);
// The same backwards: the bytes just before n1 and n2.
uint64_t CommonBefore(CAlignReader& r1, uint64_t n1, CAlignReader& r2, uint64_t n2, uint64_t nMax,
                      const std::atomic<uint8_t>* pAbort);
// How many bytes from n1 in file 1 and from n2 in file 2 are all c in both: up to the first
// other byte, end or unreadable byte in either. Holes of both pass unread when c is 0.
uint64_t BothUniform(CAlignReader& r1, uint64_t n1, CAlignReader& r2, uint64_t n2, uint8_t c,
                     const std::atomic<uint8_t>* pAbort);
// How many bytes from n are c, reading at most about nBudget bytes (holes are free when c is 0);
// bEnded is false when the budget ran out before the run did.
uint64_t UniformRun(CAlignReader& r, uint64_t n, uint8_t c, uint64_t nBudget, bool& bEnded);
