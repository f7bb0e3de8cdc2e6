/* What memory and the page cache cost on this machine, measured natively (no Wine, no program
 * of ours), to tell the platform's share of the split and join figures from ours:
 *
 *   memory_probe FILE
 *
 * FILE is an existing file of at least 256 MiB, best in the page cache already. Prints:
 *  - the first touch of fresh anonymous memory and a second touch of the same pages, per page;
 *  - pread from FILE into a set of buffers of 1 MiB that together hold 4, 16, 64 and 256 MiB,
 *    taken in turn as a pipeline takes its buffers, in MiB/s once every buffer has been used;
 *  - pwrite from such a set into a new file: the kernel reads each buffer back, which is what
 *    the write half of every chunk costs.
 * A set larger than the processor's caches makes the write half dearer; that is the platform,
 * and it is why the program keeps at most 64 MiB in flight. */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

enum { kChunk = 1 << 20, kMoved = 1 << 30 };

static double now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

static char *fresh(size_t size) {
    char *p = mmap(NULL, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) {
        perror("mmap");
        exit(1);
    }
    return p;
}

static void touch(char *p, size_t size) {
    for (size_t i = 0; i < size; i += 4096)
        p[i]++;
}

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: memory_probe FILE\n");
        return 2;
    }
    int in = open(argv[1], O_RDONLY);
    if (in < 0) {
        perror(argv[1]);
        return 1;
    }
    char outName[4096];
    snprintf(outName, sizeof outName, "%s.probe-out", argv[1]);

    const size_t touched = 256u << 20;
    char *p = fresh(touched);
    double t0 = now();
    touch(p, touched);
    double t1 = now();
    touch(p, touched);
    double t2 = now();
    printf("fresh memory: first touch %.2f us a page, second touch %.3f us a page\n",
           (t1 - t0) / (touched / 4096) * 1e6, (t2 - t1) / (touched / 4096) * 1e6);
    munmap(p, touched);

    for (size_t set = 4u << 20; set <= (256u << 20); set *= 4) {
        char *buffers = fresh(set);
        memset(buffers, 1, set);
        const size_t count = set / kChunk;
        for (size_t i = 0; i < count; ++i)
            if (pread(in, buffers + i * kChunk, kChunk, (off_t)(i * kChunk)) != kChunk)
                return 1;
        double start = now();
        size_t moved = 0;
        for (size_t i = 0; moved < kMoved; ++i, moved += kChunk) {
            const size_t at = (i % count) * kChunk;
            if (pread(in, buffers + at, kChunk, (off_t)(moved % touched)) != kChunk)
                return 1;
        }
        double read = now() - start;

        unlink(outName);
        int out = open(outName, O_WRONLY | O_CREAT | O_EXCL, 0600);
        if (out < 0) {
            perror(outName);
            return 1;
        }
        start = now();
        moved = 0;
        for (size_t i = 0; moved < kMoved; ++i, moved += kChunk) {
            const size_t at = (i % count) * kChunk;
            if (pwrite(out, buffers + at, kChunk, (off_t)moved) != kChunk)
                return 1;
        }
        double write = now() - start;
        close(out);
        unlink(outName);
        printf("buffers holding %3zu MiB: pread into them %6.0f MiB/s, pwrite from them %6.0f "
               "MiB/s\n",
               set >> 20, kMoved / 1048576.0 / read, kMoved / 1048576.0 / write);
        munmap(buffers, set);
    }
    close(in);
    return 0;
}
