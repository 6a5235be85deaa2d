#include "engine/align/chunker.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <xxhash.h>
#ifdef QUILLET_XXH3_DISPATCH
#include <xxh_x86dispatch.h> // the same hashes, with the processor's widest vectors
#endif

namespace {
std::atomic<bool> g_bColliding{false};

// The Gear table: one fixed random 64-bit value per byte value (SplitMix64), the same in every
// build, so that cut points never depend on where or when the program runs.
constexpr std::array<uint64_t, 256> MakeGear() {
    std::array<uint64_t, 256> gear{};
    uint64_t x = 0x51A7C0DE2024ull;
    for (uint64_t& g : gear) {
        x += 0x9E3779B97F4A7C15ull;
        uint64_t z = x;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        g = z ^ (z >> 31);
    }
    return gear;
}
constexpr std::array<uint64_t, 256> kGear = MakeGear();

// A shift-and-add hash forgets a byte 64 bytes later, and only its top bits have seen all 64:
// the mask tests those (bit 63 left out, see Scan). A cut needs 11 zero bits, one byte in 2 KiB,
// so chunks end about 2 KiB past the smallest size.
constexpr uint64_t kMask = 0x7FF0000000000000ull;
// Hashing starts 64 bytes before the smallest cut, so that cut sees a whole window.
constexpr uint32_t kWarmFrom = CChunker::kMinSize - 64;

constexpr std::array<uint64_t, 256> Doubled(const std::array<uint64_t, 256>& gear) {
    std::array<uint64_t, 256> doubled{};
    for (size_t i = 0; i < 256; ++i)
        doubled[i] = gear[i] << 1;
    return doubled;
}
constexpr std::array<uint64_t, 256> kGearDoubled = Doubled(kGear);

// Feeds bytes j = nFrom .. nTo - 1 of a chunk into the Gear hash, testing each with nMask once
// the chunk is at least CChunker::kMinSize long: the chunk's length when a cut was found, else 0.
// Two bytes a turn, one shift for both (FastCDC's rolling two bytes): after the first byte the
// hash is h1 = 2h + g, held as 2 * h1 = 4h + 2g, which the mask shifted by one tests exactly as
// the mask tests h1, since the mask leaves bit 63 alone. Pointers rather than indices, and two
// turns a round: the loop is the chunker's time, and the index arithmetic was a third of it.
uint32_t Scan(const uint8_t* p, uint32_t nFrom, uint32_t nTo, uint64_t nMask, uint64_t& rGear) {
    uint64_t h = rGear;
    const uint8_t* q = p;
    const uint8_t* const pEnd = p + (nTo - nFrom);
    const uint32_t nFirstTest = CChunker::kMinSize - 1; // the byte that makes the smallest chunk
    const uint8_t* const pWarm = nFrom < nFirstTest ? p + std::min(nTo, nFirstTest) - nFrom : p;
    for (; q < pWarm; ++q)
        h = (h << 1) + kGear[*q];
    // The length a cut after byte q[k] gives.
    const auto Cut = [&](const uint8_t* pAt) { return uint32_t(pAt - p) + nFrom + 1; };
    const uint64_t nMaskDoubled = nMask << 1;
    for (; pEnd - q >= 4; q += 4) {
        h = (h << 2) + kGearDoubled[q[0]];
        if ((h & nMaskDoubled) == 0)
            return Cut(q);
        h += kGear[q[1]];
        if ((h & nMask) == 0)
            return Cut(q + 1);
        h = (h << 2) + kGearDoubled[q[2]];
        if ((h & nMaskDoubled) == 0)
            return Cut(q + 2);
        h += kGear[q[3]];
        if ((h & nMask) == 0)
            return Cut(q + 3);
    }
    for (; q < pEnd; ++q) {
        h = (h << 1) + kGear[*q];
        if ((h & nMask) == 0)
            return Cut(q);
    }
    rGear = h;
    return 0;
}
} // namespace

struct CChunker::CState {
    XXH3_state_t* pHash = XXH3_createState();
    XXH3_state_t* pMarked = XXH3_createState();
    ~CState() {
        XXH3_freeState(pHash);
        XXH3_freeState(pMarked);
    }
};

void SetCollidingChunkHash(bool bCollide) {
    g_bColliding.store(bCollide);
}

bool IsChunkHashColliding() {
    return g_bColliding.load(std::memory_order_relaxed);
}

uint64_t ChunkHash(const uint8_t* pBytes, uint64_t nCount) {
    return IsChunkHashColliding() ? 1 : XXH3_64bits(pBytes, nCount);
}

bool IsUniform(const uint8_t* p, uint64_t nCount) {
    // Overlapping comparison: every byte equals the one after it.
    return nCount < 2 || std::memcmp(p, p + 1, nCount - 1) == 0;
}

CChunker::CChunker() : m_pState(std::make_unique<CState>()) {}

CChunker::~CChunker() = default;

void CChunker::Start(uint64_t nOffset) {
    m_nStart = nOffset;
    m_nSoFar = 0;
    m_nGear = 0;
    m_bUniform = true;
    XXH3_64bits_reset(m_pState->pHash);
}

void CChunker::Emit(std::vector<CChunk>& out) {
    if (m_nSoFar == 0)
        return;
    const uint64_t nHash = XXH3_64bits_digest(m_pState->pHash);
    out.push_back({m_nStart, IsChunkHashColliding() ? 1 : nHash, m_nSoFar, m_bUniform});
}

void CChunker::Feed(const uint8_t* pBytes, uint64_t nCount, std::vector<CChunk>& out) {
    while (nCount > 0) {
        // The bytes of the chunk under way that this call holds: at most up to the largest size.
        const auto nTake = uint32_t(std::min<uint64_t>(nCount, kMaxSize - m_nSoFar));
        const uint32_t nFrom = m_nSoFar;
        const uint32_t nTo = nFrom + nTake;
        uint32_t nCut = 0;
        if (nTo > kWarmFrom) {
            const uint32_t nHashFrom = std::max(nFrom, kWarmFrom);
            nCut = Scan(pBytes + (nHashFrom - nFrom), nHashFrom, nTo, kMask, m_nGear);
            if (nCut == 0 && nTo == kMaxSize)
                nCut = kMaxSize;
        }
        const uint32_t nUsed = (nCut ? nCut : nTo) - nFrom;
        if (m_bUniform) {
            if (nFrom == 0)
                m_nFirst = pBytes[0];
            m_bUniform = pBytes[0] == m_nFirst && IsUniform(pBytes, nUsed);
        }
        XXH3_64bits_update(m_pState->pHash, pBytes, nUsed);
        m_nSoFar += nUsed;
        pBytes += nUsed;
        nCount -= nUsed;
        if (nCut) {
            Emit(out);
            Start(m_nStart + m_nSoFar);
        }
    }
}

void CChunker::Mark() {
    XXH3_copyState(m_pState->pMarked, m_pState->pHash);
    m_mark = {m_nStart, m_nGear, m_nSoFar, m_bUniform, m_nFirst};
}

void CChunker::Rewind() {
    XXH3_copyState(m_pState->pHash, m_pState->pMarked);
    m_nStart = m_mark.nStart;
    m_nGear = m_mark.nGear;
    m_nSoFar = m_mark.nSoFar;
    m_bUniform = m_mark.bUniform;
    m_nFirst = m_mark.nFirst;
}

void CChunker::Break(uint64_t nResume, std::vector<CChunk>& out) {
    Emit(out);
    Start(nResume);
}
