#pragma once

#include <cstdint>
#include <memory>
#include <vector>

// A content-defined chunk of a file: where it lies and a 64-bit hash of its bytes. A hash only
// proposes a match; the bytes are compared before anything is called equal.
struct CChunk {
    uint64_t nOffset = 0;
    uint64_t nHash = 0;
    uint32_t nLength = 0;
    bool bUniform = false; // every byte the same: such chunks never anchor anything

    uint64_t End() const { return nOffset + nLength; }
};

// Cuts a stream of bytes into chunks where the bytes themselves say so: a Gear rolling hash over
// the last 64 bytes, as FastCDC cuts, 16 to 64 KiB, about 18 KiB on average. Nothing is hashed
// before 16 KiB less 64 bytes, which is most of the chunker's speed: measured, skipping 16 KiB
// and then cutting at one byte in 2 KiB chunks half again as fast as skipping 12 KiB and keeping
// chunks near 16 KiB with a stricter mask first (FastCDC's normalisation), and sizes stay as
// close together. The same bytes after a cut give the same cuts in any file, so after an
// insertion both files' cuts fall in step again within a few chunks.
class CChunker {
public:
    static constexpr uint32_t kMinSize = 16384;
    static constexpr uint32_t kMaxSize = 65536;

    CChunker();
    ~CChunker();
    CChunker(const CChunker&) = delete;
    CChunker& operator=(const CChunker&) = delete;

    // A new stream whose first byte lies at nOffset.
    void Start(uint64_t nOffset);
    // The next nCount bytes of the stream; chunks completed on the way are added to out.
    void Feed(const uint8_t* pBytes, uint64_t nCount, std::vector<CChunk>& out);
    // Ends the chunk under way, if any (at a hole, an unreadable stretch or the end), and goes on
    // with a new one at nResume.
    void Break(uint64_t nResume, std::vector<CChunk>& out);
    // Remembers where the chunker stands; Rewind goes back there, as if nothing had been fed
    // since (the bytes fed may have been a mapping's that the file no longer held).
    void Mark();
    void Rewind();
    // Where the next byte fed lies.
    uint64_t Position() const { return m_nStart + m_nSoFar; }

private:
    void Emit(std::vector<CChunk>& out);

    struct CState;
    std::unique_ptr<CState> m_pState; // the chunk's running XXH3 hash, and the marked one
    uint64_t m_nStart = 0;            // offset of the chunk under way
    uint32_t m_nSoFar = 0;            // its bytes so far
    uint64_t m_nGear = 0;
    bool m_bUniform = true;
    uint8_t m_nFirst = 0;
    struct CMark {
        uint64_t nStart, nGear;
        uint32_t nSoFar;
        bool bUniform;
        uint8_t nFirst;
    } m_mark{};
};

// The hash of a chunk's bytes (XXH3); in tests, the same value for every chunk.
uint64_t ChunkHash(const uint8_t* pBytes, uint64_t nCount);

// For tests: with true, every chunk hash is the same, so that every look-up finds every chunk
// and only the comparison of bytes tells matches apart.
void SetCollidingChunkHash(bool bCollide);
bool IsChunkHashColliding();

// True when all nCount bytes at p are the same.
bool IsUniform(const uint8_t* p, uint64_t nCount);
