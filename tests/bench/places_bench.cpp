// Times the backup search and a count prune on backup folders that the benchmark script
// made beforehand. Not a test: it prints figures.
//   places_bench <folder of RegOpt.ini> search
//   places_bench <folder of RegOpt.ini> prune <backups to keep>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "backup_places.h"
#include "job.h"
#include "settings.h"

namespace {

double seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// User plus kernel time of this process so far, in seconds.
double cpuSeconds() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto value = [](const FILETIME& t) { return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return static_cast<double>(value(kernel) + value(user)) / 1e7;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: places_bench <settings folder> search | prune <keep>\n");
        return 2;
    }
    std::wstring folder(argv[1], argv[1] + std::char_traits<char>::length(argv[1]));
    initSettings(folder.c_str());
    const std::string what = argv[2];
    LARGE_INTEGER start, end;
    const double cpuBefore = cpuSeconds();

    if (what == "search") {
        QueryPerformanceCounter(&start);
        size_t found = searchBackups().size();
        QueryPerformanceCounter(&end);
        std::printf("search found=%zu wall=%.3f s cpu=%.3f s\n", found, seconds(start, end), cpuSeconds() - cpuBefore);
        return 0;
    }
    if (what == "prune" && argc >= 4) {
        BackupJob job;
        job.retentionMode = 2;
        job.retentionCount = std::atoi(argv[3]);
        QueryPerformanceCounter(&start);
        pruneBackups(job);
        QueryPerformanceCounter(&end);
        const double cpu = cpuSeconds() - cpuBefore;
        std::printf("prune keep=%d left=%zu wall=%.3f s cpu=%.3f s\n", job.retentionCount, searchBackups().size(),
                    seconds(start, end), cpu);
        return 0;
    }
    return 2;
}
