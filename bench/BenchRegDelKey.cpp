// Benchmark: DELETE_LOCAL_MACHINE_PRODUCTKEY on a tree of 10,000 keys and 100,000 values, side
// by side with the platform's RegDeleteTreeA on an identical tree (and RegDelKey in-process,
// without Torvane's start-up). Prints the times and the ratios.
//
//   bench_regdelkey [keys [values-per-key]]
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "regmaint/RegMaint.h"

namespace {

double Now() {
    static LARGE_INTEGER frequency = {};
    if (frequency.QuadPart == 0)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Breadth first, ten children per key, until nKeys keys (the top included) exist.
bool BuildTree(const std::string& path, int nKeys, int nValues) {
    HKEY top = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &top, nullptr) != ERROR_SUCCESS)
        return false;
    std::vector<HKEY> level{top};
    int made = 1;
    const std::string data = "C:\\Program Files\\Vendor\\Product\\setting";
    for (size_t next = 0; next < level.size(); ++next) {
        HKEY key = level[next];
        for (int v = 0; v < nValues; ++v) {
            char name[32];
            wsprintfA(name, "Value%d", v);
            RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                           static_cast<DWORD>(data.size() + 1));
        }
        for (int c = 0; c < 10 && made < nKeys; ++c, ++made) {
            char name[32];
            wsprintfA(name, "Key%d", c);
            HKEY child = nullptr;
            if (RegCreateKeyExA(key, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child,
                                nullptr) != ERROR_SUCCESS)
                return false;
            level.push_back(child);
        }
    }
    for (HKEY key : level)
        RegCloseKey(key);
    return made == nKeys;
}

bool Exists(const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// Runs Torvane.exe (beside this program) with args and waits; seconds, or -1.
double RunTorvane(const std::string& args) {
    char self[MAX_PATH];
    DWORD cch = GetModuleFileNameA(nullptr, self, sizeof(self));
    if (cch == 0 || cch >= sizeof(self))
        return -1;
    std::string folder(self);
    folder.resize(folder.rfind('\\'));
    std::string line = "\"" + folder + "\\Torvane.exe\" " + args;
    std::vector<char> buffer(line.begin(), line.end());
    buffer.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    double start = Now();
    if (!CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info))
        return -1;
    WaitForSingleObject(info.hProcess, INFINITE);
    double seconds = Now() - start;
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return seconds;
}

} // namespace

int main(int argc, char** argv) {
    const int nKeys = argc > 1 ? atoi(argv[1]) : 10000;
    const int nValues = argc > 2 ? atoi(argv[2]) : 10;
    char base[64];
    wsprintfA(base, "SOFTWARE\\TorvaneBench%lu", GetCurrentProcessId());
    const std::string root = base;
    printf("tree: %d keys, %d values (%d per key), below HKLM\\%s\n", nKeys, nKeys * nValues,
           nValues, root.c_str());

    // Torvane's start-up and tear-down alone: the same command on a key that does not exist,
    // the best of three runs.
    double startup = -1;
    for (int i = 0; i < 3; ++i) {
        double run = RunTorvane("DELETE_LOCAL_MACHINE_PRODUCTKEY " + root + "\\None");
        if (startup < 0 || (run >= 0 && run < startup))
            startup = run;
    }

    // Three identical trees, all built before any is deleted, so that each deletion meets the
    // same registry.
    std::string trees[3];
    double build = Now();
    for (int i = 0; i < 3; ++i) {
        trees[i] = root + "\\Tree" + std::to_string(i);
        if (!BuildTree(trees[i], nKeys, nValues)) {
            printf("could not build %s\n", trees[i].c_str());
            return 1;
        }
    }
    printf("three trees built in %.2f s\n", Now() - build);

    double seconds[3] = {};
    seconds[0] = RunTorvane("DELETE_LOCAL_MACHINE_PRODUCTKEY " + trees[0]);
    double start = Now();
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, trees[1].c_str());
    seconds[1] = Now() - start;
    start = Now();
    RegDelKey(HKEY_LOCAL_MACHINE, trees[2].c_str());
    seconds[2] = Now() - start;

    const char* const labels[] = {"Torvane DELETE_LOCAL_MACHINE_PRODUCTKEY",
                                  "RegDeleteTreeA (platform)", "RegDelKey in-process"};
    for (int i = 0; i < 3; ++i) {
        printf("%-48s %7.3f s%s\n", labels[i], seconds[i],
               Exists(trees[i]) ? "  (TREE LEFT BEHIND)" : "");
    }
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, root.c_str());

    printf("%-48s %7.3f s\n", "Torvane start-up and tear-down alone", startup);
    printf("%-48s %7.2f\n", "ratio command / RegDeleteTreeA", seconds[0] / seconds[1]);
    printf("%-48s %7.2f\n", "ratio command minus start-up / RegDeleteTreeA",
           (seconds[0] - startup) / seconds[1]);
    printf("%-48s %7.2f\n", "ratio RegDelKey in-process / RegDeleteTreeA", seconds[2] / seconds[1]);
    printf("(a ratio below 1.00: faster than the platform's own function)\n");
    return 0;
}
