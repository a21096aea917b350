// Times the backup search and a count prune on backup folders that the benchmark script
// (tools/bench-places.sh) made beforehand, beside the plainest listing of the same tree
// that the platform offers. Not a test: it prints figures.
//   places_bench <folder of RegOpt.ini> compare <place> <rounds>
//       the program's search and a minimal walk of the place, alternating in one
//       process, each `rounds` times; prints every time, the medians and their ratio
//   places_bench <folder of RegOpt.ini> prune <backups to keep>
//       one prune by count; prints its time
//   places_bench <folder of RegOpt.ini> delete <place> <list of backup folders>
//       the platform's side of a prune: a minimal walk, then the plain deletion of the
//       listed backups (their two files, the folder and its emptied parents)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "backup_places.h"
#include "job.h"
#include "settings.h"

namespace {

double now() {
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// User plus kernel time of this process so far: steadier than the wall clock on a
// machine that others share, though it leaves out the Wine server's part.
double cpu() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto value = [](const FILETIME& t) { return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return static_cast<double>(value(kernel) + value(user)) / 1e7;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::wstring wide(const char* text) {
    std::wstring out(MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, &out[0], static_cast<int>(out.size()));
    out.pop_back();
    return out;
}

struct WalkCount {
    size_t folders = 0, entries = 0;
};

// The platform's plainest walk: one listing of every folder, nothing else.
void minimalWalk(const std::wstring& folder, WalkCount& count) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileExW((folder + L"*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                   FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) return;
    ++count.folders;
    std::vector<std::wstring> subfolders;
    do {
        ++count.entries;
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            !(data.cFileName[0] == L'.' &&
              (data.cFileName[1] == 0 || (data.cFileName[1] == L'.' && data.cFileName[2] == 0))))
            subfolders.push_back(data.cFileName);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    for (const std::wstring& name : subfolders) minimalWalk(folder + name + L'\\', count);
}

int compare(const std::wstring& place, int rounds) {
    std::vector<double> search, walk, searchCpu, walkCpu;
    size_t found = 0;
    WalkCount count;
    for (int i = 0; i < rounds; ++i) {
        double start = now(), startCpu = cpu();
        found = searchBackups().size();
        search.push_back(now() - start);
        searchCpu.push_back(cpu() - startCpu);

        count = WalkCount();
        start = now();
        startCpu = cpu();
        minimalWalk(place, count);
        walk.push_back(now() - start);
        walkCpu.push_back(cpu() - startCpu);
        std::printf("round %d: search %.4f s (cpu %.4f s), walk %.4f s (cpu %.4f s)\n", i + 1, search.back(),
                    searchCpu.back(), walk.back(), walkCpu.back());
    }
    const double s = median(search), w = median(walk);
    std::printf("search found=%zu median=%.4f cpu=%.4f s\n", found, s, median(searchCpu));
    std::printf("walk folders=%zu entries=%zu median=%.4f cpu=%.4f s\n", count.folders, count.entries, w,
                median(walkCpu));
    std::printf("ratio search/walk=%.2f cpu=%.2f\n", s / w, median(searchCpu) / median(walkCpu));
    return 0;
}

int prune(int keep) {
    BackupJob job;
    job.retention.mode = 2;
    job.retention.count = keep;
    const double start = now(), startCpu = cpu();
    pruneBackups(job);
    const double seconds = now() - start, cpuSeconds = cpu() - startCpu;
    std::printf("prune keep=%d left=%zu time=%.4f cpu=%.4f s\n", keep, searchBackups().size(), seconds, cpuSeconds);
    return 0;
}

std::vector<std::wstring> readLines(const wchar_t* path) {
    std::vector<std::wstring> lines;
    FILE* f = _wfopen(path, L"rb");
    if (!f) return lines;
    std::string line;
    for (int c; (c = std::fgetc(f)) != EOF;) {
        if (c == '\n') {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (!line.empty()) lines.push_back(wide(line.c_str()));
            line.clear();
        } else {
            line += static_cast<char>(c);
        }
    }
    if (!line.empty()) lines.push_back(wide(line.c_str()));
    std::fclose(f);
    return lines;
}

std::wstring parentOf(std::wstring folder) {
    while (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    const size_t slash = folder.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash + 1);
}

// What a prune must do at least: find the backups, then delete what they hold.
int deleteBaseline(const std::wstring& place, const wchar_t* listPath) {
    const std::vector<std::wstring> folders = readLines(listPath);
    WalkCount count;
    double start = now(), startCpu = cpu();
    minimalWalk(place, count);
    const double walk = now() - start, walkCpu = cpu() - startCpu;

    start = now();
    startCpu = cpu();
    for (const std::wstring& folder : folders) {
        DeleteFileW((folder + L"SURVIN.EXE").c_str());
        DeleteFileW((folder + L"SURVIN.INI").c_str());
        for (std::wstring current = folder; current.size() > place.size(); current = parentOf(current))
            if (!RemoveDirectoryW(current.c_str())) break;
    }
    const double deletion = now() - start, deletionCpu = cpu() - startCpu;
    std::printf("walk folders=%zu time=%.4f cpu=%.4f s\n", count.folders, walk, walkCpu);
    std::printf("delete backups=%zu time=%.4f cpu=%.4f s\n", folders.size(), deletion, deletionCpu);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: places_bench <settings folder> compare <place> <rounds> | prune <keep> |"
                             " delete <place> <list>\n");
        return 2;
    }
    initSettings(wide(argv[1]).c_str());
    const std::string what = argv[2];
    if (what == "compare" && argc >= 5) return compare(wide(argv[3]), std::atoi(argv[4]));
    if (what == "prune" && argc >= 4) return prune(std::atoi(argv[3]));
    if (what == "delete" && argc >= 5) return deleteBaseline(wide(argv[3]), wide(argv[4]).c_str());
    return 2;
}
