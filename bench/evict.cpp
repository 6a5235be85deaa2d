// Drops files from the page cache, so that the next read of them comes from the disk:
// flushes what is dirty, then asks the kernel to forget the pages (POSIX_FADV_DONTNEED).
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: evict FILE...\n");
        return 2;
    }
    int nStatus = 0;
    for (int i = 1; i < argc; ++i) {
        const int fd = open(argv[i], O_RDONLY | O_CLOEXEC);
        if (fd < 0 || fdatasync(fd) != 0 || posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) != 0) {
            std::perror(argv[i]);
            nStatus = 2;
        }
        if (fd >= 0)
            close(fd);
    }
    return nStatus;
}
