// Drives the engines for bench/align.sh, one run per call, and prints what it measured:
//   alignrun plain FILE1 FILE2   the plain comparison (CCompareJob) at quillet-map's block size
//   alignrun align FILE1 FILE2   the aligned comparison; then one line per segment
//   alignrun chunk FILE          the chunker alone over the file's bytes held in memory
// Each prints "ms=... read=..." (bytes the process read, from /proc/self/io) first. And to make
// the files, the same on every run:
//   alignrun random SEED COUNT   COUNT pseudo-random bytes to standard output
//   alignrun spoil FILE EVERY    changes one byte of every EVERY bytes of FILE in place
#include "cli/mapreport.h"
#include "engine/align/alignjob.h"
#include "engine/align/alignment.h"
#include "engine/align/chunker.h"
#include "engine/blockstatearray.h"
#include "engine/comparejob.h"
#include "engine/inputfile.h"

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {
struct CSink : IJobSink {
    void PostProgress() override {}
    void PostFinished() override { ++nFinished; }
    int nFinished = 0;
};

double Ms(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

// Bytes this process has read through system calls so far.
uint64_t BytesRead() {
    std::ifstream io("/proc/self/io");
    std::string strKey;
    uint64_t n = 0;
    while (io >> strKey >> n)
        if (strKey == "rchar:")
            return n;
    return 0;
}

uint64_t SizeOf(const char* pszPath) {
    CInputFile file;
    return file.Open(pszPath) ? file.GetSize() : 0;
}

int Plain(const char* pszPath1, const char* pszPath2) {
    const uint64_t L = std::max(SizeOf(pszPath1), SizeOf(pszPath2));
    const uint32_t B = DefaultBlockSize(L);
    CBlockStateArray states;
    states.AllocateCount(int32_t((L + B - 1) / B));
    CLockedText error1, error2;
    CSink sink;
    std::atomic<uint8_t> bAbort{0};
    CJobSetup setup{pszPath1, pszPath2, L, B, &states, &bAbort, &error1, &error2, &sink};
    CCompareJob* pJob = nullptr;
    std::string strError;
    const uint64_t nRead = BytesRead();
    const auto t0 = std::chrono::steady_clock::now();
    if (!StartCompareJob(pJob, setup, strError))
        return std::fprintf(stderr, "alignrun: %s\n", strError.c_str()), 2;
    pJob->Join();
    const double ms = Ms(t0);
    delete pJob;
    const CStateCounts counts = CountStates(states, uint32_t((L + B - 1) / B));
    std::printf("ms=%.1f read=%" PRIu64 " equal=%" PRIu64 " different=%" PRIu64 "\n", ms,
                BytesRead() - nRead, counts.nEqual, counts.nDifferent + counts.nLengthDiffers);
    return 0;
}

int Align(const char* pszPath1, const char* pszPath2) {
    CAlignment alignment;
    CLockedText error1, error2;
    CSink sink;
    std::atomic<uint8_t> bAbort{0};
    CAlignSetup setup{pszPath1,         pszPath2,   SizeOf(pszPath1),
                      SizeOf(pszPath2), &alignment, &bAbort,
                      &error1,          &error2,    &sink};
    CAlignJob* pJob = nullptr;
    std::string strError;
    const uint64_t nRead = BytesRead();
    const auto t0 = std::chrono::steady_clock::now();
    if (!StartAlignJob(pJob, setup, strError))
        return std::fprintf(stderr, "alignrun: %s\n", strError.c_str()), 2;
    pJob->Join();
    const double ms = Ms(t0);
    delete pJob;
    if (!error1.Get().empty() || !error2.Get().empty())
        return std::fprintf(stderr, "alignrun: %s%s\n", error1.Get().c_str(), error2.Get().c_str()),
               2;
    std::printf("ms=%.1f read=%" PRIu64 " segments=%zu complete=%d\n", ms, BytesRead() - nRead,
                alignment.m_segments.size(), int(alignment.m_bComplete));
    for (const CAlignSegment& s : alignment.m_segments)
        std::printf("%s %" PRIu64 "+%" PRIu64 " %" PRIu64 "+%" PRIu64 " shift=%" PRId64 "\n",
                    AlignKindName(s.eKind), s.nOffset1, s.nLength1, s.nOffset2, s.nLength2,
                    s.Shift());
    return 0;
}

int Chunk(const char* pszPath) {
    CInputFile file;
    if (!file.Open(pszPath))
        return std::fprintf(stderr, "alignrun: %s\n", file.GetErrorText().c_str()), 2;
    std::vector<uint8_t> bytes(file.GetSize());
    if (file.Read(bytes.data(), uint32_t(bytes.size())) != bytes.size())
        return std::fprintf(stderr, "alignrun: short read\n"), 2;
    CChunker chunker;
    std::vector<CChunk> chunks;
    chunks.reserve(bytes.size() / CChunker::kMinSize + 1);
    const auto t0 = std::chrono::steady_clock::now();
    chunker.Start(0);
    // Fed in the loads the aligned comparison uses.
    for (size_t n = 0; n < bytes.size(); n += 262144)
        chunker.Feed(bytes.data() + n, std::min<size_t>(262144, bytes.size() - n), chunks);
    chunker.Break(bytes.size(), chunks);
    const double ms = Ms(t0);
    std::printf("ms=%.1f chunks=%zu average=%.0f GB/s=%.2f\n", ms, chunks.size(),
                double(bytes.size()) / double(chunks.size()), double(bytes.size()) / ms / 1e6);
    return 0;
}
// xorshift64*: fast, and the same bytes for the same seed everywhere.
int Random(uint64_t nSeed, uint64_t nCount) {
    uint64_t x = nSeed * 0x9E3779B97F4A7C15ull + 1;
    std::vector<uint64_t> words(1 << 17);
    while (nCount > 0) {
        for (uint64_t& w : words) {
            x ^= x >> 12;
            x ^= x << 25;
            x ^= x >> 27;
            w = x * 0x2545F4914F6CDD1Dull;
        }
        const size_t n = size_t(std::min<uint64_t>(nCount, words.size() * 8));
        if (std::fwrite(words.data(), 1, n, stdout) != n)
            return 2;
        nCount -= n;
    }
    return 0;
}

int Spoil(const char* pszPath, uint64_t nEvery) {
    std::FILE* pFile = std::fopen(pszPath, "r+b");
    if (!pFile || nEvery == 0)
        return std::perror("alignrun"), 2;
    std::vector<uint8_t> piece(nEvery, 0);
    for (long nAt = 0; std::fseek(pFile, nAt, SEEK_SET) == 0; nAt += long(nEvery)) {
        if (std::fread(piece.data(), 1, piece.size(), pFile) < piece.size())
            break;
        piece[piece.size() / 2] ^= 0xFF;
        std::fseek(pFile, nAt, SEEK_SET);
        std::fwrite(piece.data(), 1, piece.size(), pFile);
    }
    return std::fclose(pFile) == 0 ? 0 : 2;
}
} // namespace

int main(int argc, char** argv) {
    const std::string strWhat = argc > 1 ? argv[1] : "";
    if (strWhat == "plain" && argc == 4)
        return Plain(argv[2], argv[3]);
    if (strWhat == "align" && argc == 4)
        return Align(argv[2], argv[3]);
    if (strWhat == "chunk" && argc == 3)
        return Chunk(argv[2]);
    if (strWhat == "random" && argc == 4)
        return Random(std::stoull(argv[2]), std::stoull(argv[3]));
    if (strWhat == "spoil" && argc == 4)
        return Spoil(argv[2], std::stoull(argv[3]));
    std::fprintf(stderr, "usage: alignrun plain|align FILE1 FILE2 | chunk FILE | random SEED "
                         "COUNT | spoil FILE EVERY\n");
    return 2;
}
