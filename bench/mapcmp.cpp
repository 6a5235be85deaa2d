// The yardstick for a comparison of files in the page cache: maps both files whole
// (MADV_SEQUENTIAL) and compares them with memcmp a MiB at a time, as fast as comparing
// can go without a copy. Exit status 0 equal, 1 different (in bytes or length), 2 trouble.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
bool MapWhole(const char* pszPath, const char*& pBytes, size_t& nLength) {
    const int fd = open(pszPath, O_RDONLY | O_CLOEXEC);
    struct stat st = {};
    if (fd < 0 || fstat(fd, &st) != 0)
        return false;
    nLength = size_t(st.st_size);
    void* p = nLength ? mmap(nullptr, nLength, PROT_READ, MAP_SHARED, fd, 0) : nullptr;
    close(fd);
    if (p == MAP_FAILED)
        return false;
    madvise(p, nLength, MADV_SEQUENTIAL);
    pBytes = static_cast<const char*>(p);
    return true;
}
} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: mapcmp FILE1 FILE2\n");
        return 2;
    }
    size_t nLength1 = 0, nLength2 = 0;
    const char *p1 = nullptr, *p2 = nullptr;
    if (!MapWhole(argv[1], p1, nLength1) || !MapWhole(argv[2], p2, nLength2)) {
        std::perror("mapcmp");
        return 2;
    }
    const size_t nCommon = std::min(nLength1, nLength2);
    for (size_t n = 0; n < nCommon; n += 1 << 20)
        if (std::memcmp(p1 + n, p2 + n, std::min<size_t>(1 << 20, nCommon - n)) != 0)
            return 1;
    return nLength1 == nLength2 ? 0 : 1;
}
