// Writes the benchmark store: zarvo_bench_store COUNT DIRECTORY
// (DIRECTORY/projects.plist with COUNT projects, and settings.plist).
#include "bench/benchstore.h"

#include <QString>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: zarvo_bench_store COUNT DIRECTORY\n");
        return 2;
    }
    const int count = std::atoi(argv[1]);
    if (count <= 0 || !zarvo::bench::writeStore(QString::fromLocal8Bit(argv[2]), count)) {
        std::fprintf(stderr, "zarvo_bench_store: cannot write %d projects to %s\n", count, argv[2]);
        return 1;
    }
    return 0;
}
