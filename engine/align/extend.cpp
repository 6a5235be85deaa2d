#include "engine/align/extend.h"

#include "engine/align/alignreader.h"
#include "engine/filelayout.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {
constexpr uint64_t kBlock = 4096; // memcmp finds the block, a word loop the byte

bool Aborted(const std::atomic<uint8_t>* pAbort) {
    return pAbort && pAbort->load(std::memory_order_relaxed);
}

// The byte, counted from the low address, where two unequal words first differ.
unsigned FirstByteOf(uint64_t nXor) {
    if constexpr (std::endian::native == std::endian::little)
        return unsigned(std::countr_zero(nXor)) / 8;
    else
        return unsigned(std::countl_zero(nXor)) / 8;
}
unsigned LastByteOf(uint64_t nXor) {
    if constexpr (std::endian::native == std::endian::little)
        return 7 - unsigned(std::countl_zero(nXor)) / 8;
    else
        return 7 - unsigned(std::countr_zero(nXor)) / 8;
}
} // namespace

uint64_t CommonPrefix(const uint8_t* a, const uint8_t* b, uint64_t nCount) {
    uint64_t i = 0;
    while (i < nCount && std::memcmp(a + i, b + i, std::min(kBlock, nCount - i)) == 0)
        i += std::min(kBlock, nCount - i);
    for (; i + 8 <= nCount; i += 8) {
        uint64_t x, y;
        std::memcpy(&x, a + i, 8);
        std::memcpy(&y, b + i, 8);
        if (x != y)
            return i + FirstByteOf(x ^ y);
    }
    while (i < nCount && a[i] == b[i])
        ++i;
    return i;
}

uint64_t CommonSuffix(const uint8_t* a, const uint8_t* b, uint64_t nCount) {
    uint64_t n = nCount; // bytes before n are still to be looked at
    while (n > 0) {
        const uint64_t k = std::min(kBlock, n);
        if (std::memcmp(a + n - k, b + n - k, k) != 0)
            break;
        n -= k;
    }
    for (; n >= 8; n -= 8) {
        uint64_t x, y;
        std::memcpy(&x, a + n - 8, 8);
        std::memcpy(&y, b + n - 8, 8);
        if (x != y)
            return nCount - (n - 8 + LastByteOf(x ^ y) + 1);
    }
    while (n > 0 && a[n - 1] == b[n - 1])
        --n;
    return nCount - n;
}

uint64_t ZeroPrefix(const uint8_t* p, uint64_t nCount) {
    uint64_t i = 0;
    while (i < nCount && IsAllZero(p + i, std::min(kBlock, nCount - i)))
        i += std::min(kBlock, nCount - i);
    while (i < nCount && p[i] == 0)
        ++i;
    return i;
}

uint64_t SamePrefix(const uint8_t* p, uint64_t nCount, uint8_t c) {
    uint64_t i = 0;
    const uint64_t nWord = 0x0101010101010101ull * c;
    for (; i + 8 <= nCount; i += 8) {
        uint64_t x;
        std::memcpy(&x, p + i, 8);
        if (x != nWord)
            return i + FirstByteOf(x ^ nWord);
    }
    while (i < nCount && p[i] == c)
        ++i;
    return i;
}

uint64_t CommonAfter(CAlignReader& r1, uint64_t n1, CAlignReader& r2, uint64_t n2, uint64_t nMax,
                     const std::atomic<uint8_t>* pAbort) {
    uint64_t k = 0;
    uint64_t nHoleStep = CAlignReader::kLoad; // doubles while both sides stay in holes
    while (k < nMax && !Aborted(pAbort)) {
        const uint64_t nHoles = std::min(nMax - k, nHoleStep);
        if (r1.IsHole(n1 + k, n1 + k + nHoles) && r2.IsHole(n2 + k, n2 + k + nHoles)) {
            k += nHoles;
            nHoleStep *= 2;
            continue;
        }
        nHoleStep = CAlignReader::kLoad;
        const auto n = uint32_t(std::min<uint64_t>(nMax - k, CAlignReader::kLoad));
        const uint8_t* a = nullptr;
        const uint8_t* b = nullptr;
        bool bEnd = false;
        const uint32_t nGot = std::min(r1.View(n1 + k, n, a, bEnd), r2.View(n2 + k, n, b, bEnd));
        const uint64_t nSame = CommonPrefix(a, b, nGot);
        k += nSame;
        if (nSame < n)
            break;
    }
    return k;
}

uint64_t CommonBefore(CAlignReader& r1, uint64_t n1, CAlignReader& r2, uint64_t n2, uint64_t nMax,
                      const std::atomic<uint8_t>* pAbort) {
    uint64_t k = 0;
    uint64_t nHoleStep = CAlignReader::kLoad;
    while (k < nMax && !Aborted(pAbort)) {
        const uint64_t nHoles = std::min(nMax - k, nHoleStep);
        if (r1.IsHole(n1 - k - nHoles, n1 - k) && r2.IsHole(n2 - k - nHoles, n2 - k)) {
            k += nHoles;
            nHoleStep *= 2;
            continue;
        }
        nHoleStep = CAlignReader::kLoad;
        const auto n = uint32_t(std::min<uint64_t>(nMax - k, CAlignReader::kLoad));
        const uint8_t* a = nullptr;
        const uint8_t* b = nullptr;
        bool bEnd = false;
        // Only a whole slice can be compared from its end: a short one stops the stretch here.
        if (r1.View(n1 - k - n, n, a, bEnd) < n || r2.View(n2 - k - n, n, b, bEnd) < n)
            break;
        const uint64_t nSame = CommonSuffix(a, b, n);
        k += nSame;
        if (nSame < n)
            break;
    }
    return k;
}

uint64_t BothUniform(CAlignReader& r1, uint64_t n1, CAlignReader& r2, uint64_t n2, uint8_t c,
                     const std::atomic<uint8_t>* pAbort) {
    uint64_t k = 0;
    while (!Aborted(pAbort)) {
        const uint64_t nHoles = std::min(r1.HoleEnd(n1 + k) - n1, r2.HoleEnd(n2 + k) - n2);
        if (c == 0 && nHoles > k) {
            k = nHoles;
            continue;
        }
        const uint8_t* a = nullptr;
        const uint8_t* b = nullptr;
        bool bEnd = false;
        const uint32_t n = std::min(r1.View(n1 + k, CAlignReader::kLoad, a, bEnd),
                                    r2.View(n2 + k, CAlignReader::kLoad, b, bEnd));
        const uint64_t nSame = std::min(SamePrefix(a, n, c), SamePrefix(b, n, c));
        k += nSame;
        if (nSame < CAlignReader::kLoad)
            break;
    }
    return k;
}

uint64_t UniformRun(CAlignReader& r, uint64_t n, uint8_t c, uint64_t nBudget, bool& bEnded) {
    uint64_t k = 0;
    uint64_t nRead = 0;
    for (;;) {
        if (c == 0 && r.HoleEnd(n + k) > n + k) {
            k = r.HoleEnd(n + k) - n;
            continue;
        }
        if (nRead >= nBudget) {
            bEnded = false;
            return k;
        }
        const uint8_t* p = nullptr;
        bool bEnd = false;
        const uint32_t nGot = r.View(n + k, CAlignReader::kLoad, p, bEnd);
        const uint64_t nSame = SamePrefix(p, nGot, c);
        k += nSame;
        nRead += nGot;
        if (nSame < CAlignReader::kLoad) {
            bEnded = true;
            return k;
        }
    }
}
