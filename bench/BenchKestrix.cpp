// Benchmark: RegCopyEx and RegDelKeyEX of Kestrix.dll against the platform's RegCopyTreeA and
// RegDeleteTreeA on identical trees (by default 10,000 keys holding 100,000 values), in one run.
// Each pair runs twice, in both orders, and the times add up. Prints times and ratios.
//
//   bench_kestrix [keys-per-branch branches values-per-key]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "kestrix/Kestrix.h"

namespace {

typedef LONG(WINAPI* PFN_REGCOPYTREEA)(HKEY, LPCSTR, HKEY);
typedef LONG(WINAPI* PFN_REGDELETETREEA)(HKEY, LPCSTR);

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Values of a few kinds and sizes, as an installer's keys hold them.
void SetValues(HKEY key, int count, int seed) {
    char name[32];
    char text[64];
    for (int i = 0; i < count; ++i) {
        wsprintfA(name, "Value%02d", i);
        switch (i % 3) {
        case 0: {
            int length = wsprintfA(text, "C:\\Program Files\\Scanner\\file%d.dat", seed + i);
            RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), length + 1);
            break;
        }
        case 1: {
            DWORD number = static_cast<DWORD>(seed * 31 + i);
            RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4);
            break;
        }
        default: {
            BYTE bytes[24];
            for (int b = 0; b < 24; ++b)
                bytes[b] = static_cast<BYTE>(seed + i + b);
            RegSetValueExA(key, name, 0, REG_BINARY, bytes, sizeof(bytes));
            break;
        }
        }
    }
}

// branches keys below root, each with perBranch - 1 subkeys: branches * perBranch keys.
bool BuildTree(const std::string& path, int branches, int perBranch, int values) {
    HKEY root = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &root, nullptr) != ERROR_SUCCESS)
        return false;
    char name[32];
    for (int b = 0; b < branches; ++b) {
        HKEY branch = nullptr;
        wsprintfA(name, "Branch%03d", b);
        if (RegCreateKeyExA(root, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &branch, nullptr) !=
            ERROR_SUCCESS)
            return false;
        SetValues(branch, values, b * 1000);
        for (int k = 1; k < perBranch; ++k) {
            HKEY leaf = nullptr;
            wsprintfA(name, "Key%03d", k);
            if (RegCreateKeyExA(branch, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &leaf,
                                nullptr) != ERROR_SUCCESS)
                return false;
            SetValues(leaf, values, b * 1000 + k);
            RegCloseKey(leaf);
        }
        RegCloseKey(branch);
    }
    RegCloseKey(root);
    return true;
}

// Keys below path (not counting path itself) and values in all of them; -1 keys when missing.
void CountTree(HKEY parent, const char* path, long* keys, long* values) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(parent, path, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        *keys = -1;
        return;
    }
    DWORD subkeys = 0;
    DWORD valueCount = 0;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &valueCount,
                     nullptr, nullptr, nullptr, nullptr);
    *values += valueCount;
    char name[256];
    for (DWORD i = 0; i < subkeys; ++i) {
        DWORD length = sizeof(name);
        if (RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        ++*keys;
        CountTree(key, name, keys, values);
    }
    RegCloseKey(key);
}

bool SameShape(const std::string& a, const std::string& b) {
    long keysA = 0, valuesA = 0, keysB = 0, valuesB = 0;
    CountTree(HKEY_CURRENT_USER, a.c_str(), &keysA, &valuesA);
    CountTree(HKEY_CURRENT_USER, b.c_str(), &keysB, &valuesB);
    return keysA >= 0 && keysA == keysB && valuesA == valuesB;
}

struct tagTools {
    PFN_REGCOPYEX pfnRegCopyEx;
    PFN_REGDELKEYEX pfnRegDelKeyEX;
    PFN_REGCOPYTREEA pfnRegCopyTreeA;
    PFN_REGDELETETREEA pfnRegDeleteTreeA;
};

double TimeKestrixCopy(const tagTools& tools, const std::string& src, const std::string& dst,
                       bool* ok) {
    double start = Now();
    int result =
        tools.pfnRegCopyEx(HKEY_CURRENT_USER, src.c_str(), HKEY_CURRENT_USER, dst.c_str(), nullptr);
    double elapsed = Now() - start;
    *ok = *ok && result == 1;
    return elapsed;
}

// The platform's copy needs both keys open; opening and creating them is part of the work.
double TimePlatformCopy(const tagTools& tools, const std::string& src, const std::string& dst,
                        bool* ok) {
    double start = Now();
    HKEY source = nullptr;
    HKEY destination = nullptr;
    LONG status = RegOpenKeyExA(HKEY_CURRENT_USER, src.c_str(), 0, KEY_READ, &source);
    if (status == ERROR_SUCCESS)
        status = RegCreateKeyExA(HKEY_CURRENT_USER, dst.c_str(), 0, nullptr, 0,
                                 KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY, nullptr,
                                 &destination, nullptr);
    if (status == ERROR_SUCCESS)
        status = tools.pfnRegCopyTreeA(source, nullptr, destination);
    if (destination)
        RegCloseKey(destination);
    if (source)
        RegCloseKey(source);
    double elapsed = Now() - start;
    *ok = *ok && status == ERROR_SUCCESS;
    return elapsed;
}

double TimeKestrixDelete(const tagTools& tools, const std::string& path, bool* ok) {
    double start = Now();
    LONG status = tools.pfnRegDelKeyEX(HKEY_CURRENT_USER, path.c_str(), nullptr);
    double elapsed = Now() - start;
    *ok = *ok && status == ERROR_SUCCESS;
    return elapsed;
}

double TimePlatformDelete(const tagTools& tools, const std::string& path, bool* ok) {
    double start = Now();
    LONG status = tools.pfnRegDeleteTreeA(HKEY_CURRENT_USER, path.c_str());
    double elapsed = Now() - start;
    *ok = *ok && status == ERROR_SUCCESS;
    return elapsed;
}

bool Missing(const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
        RegCloseKey(key);
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    const int perBranch = argc > 1 ? atoi(argv[1]) : 100;
    const int branches = argc > 2 ? atoi(argv[2]) : 100;
    const int values = argc > 3 ? atoi(argv[3]) : 10;
    if (perBranch < 1 || branches < 1 || values < 0) {
        std::printf("usage: bench_kestrix [keys-per-branch branches values-per-key]\n");
        return 2;
    }

    HMODULE kestrix = LoadLibraryA("Kestrix.dll");
    HMODULE advapi = GetModuleHandleA("advapi32.dll");
    tagTools tools = {};
    if (kestrix) {
        tools.pfnRegCopyEx = reinterpret_cast<PFN_REGCOPYEX>(
            reinterpret_cast<void*>(GetProcAddress(kestrix, "RegCopyEx")));
        tools.pfnRegDelKeyEX = reinterpret_cast<PFN_REGDELKEYEX>(
            reinterpret_cast<void*>(GetProcAddress(kestrix, "RegDelKeyEX")));
    }
    if (advapi) {
        tools.pfnRegCopyTreeA = reinterpret_cast<PFN_REGCOPYTREEA>(
            reinterpret_cast<void*>(GetProcAddress(advapi, "RegCopyTreeA")));
        tools.pfnRegDeleteTreeA = reinterpret_cast<PFN_REGDELETETREEA>(
            reinterpret_cast<void*>(GetProcAddress(advapi, "RegDeleteTreeA")));
    }
    if (!tools.pfnRegCopyEx || !tools.pfnRegDelKeyEX || !tools.pfnRegCopyTreeA ||
        !tools.pfnRegDeleteTreeA) {
        std::printf("cannot find the functions to compare (Kestrix.dll beside this program?)\n");
        return 1;
    }

    char base[64];
    wsprintfA(base, "Software\\KestrixBench_%lu", GetCurrentProcessId());
    const std::string root = base;
    const std::string src = root + "\\src";
    const std::string mine = root + "\\kestrix";
    const std::string theirs = root + "\\platform";

    double start = Now();
    if (!BuildTree(src, branches, perBranch, values)) {
        std::printf("cannot build the source tree\n");
        tools.pfnRegDeleteTreeA(HKEY_CURRENT_USER, root.c_str());
        return 1;
    }
    long keys = 0;
    long valueCount = 0;
    CountTree(HKEY_CURRENT_USER, src.c_str(), &keys, &valueCount);
    std::printf("tree: %ld keys, %ld values below the copied key (built in %.2f s)\n", keys,
                valueCount, Now() - start);

    bool ok = true;
    double copyMine = 0, copyTheirs = 0, deleteMine = 0, deleteTheirs = 0;
    for (int round = 0; round < 2; ++round) {
        // Round 0 runs Kestrix first, round 1 the platform first.
        if (round == 0) {
            copyMine += TimeKestrixCopy(tools, src, mine, &ok);
            copyTheirs += TimePlatformCopy(tools, src, theirs, &ok);
        } else {
            copyTheirs += TimePlatformCopy(tools, src, theirs, &ok);
            copyMine += TimeKestrixCopy(tools, src, mine, &ok);
        }
        if (!SameShape(src, mine) || !SameShape(src, theirs)) {
            std::printf("a copy differs from its source\n");
            ok = false;
        }
        if (round == 0) {
            deleteMine += TimeKestrixDelete(tools, mine, &ok);
            deleteTheirs += TimePlatformDelete(tools, theirs, &ok);
        } else {
            deleteTheirs += TimePlatformDelete(tools, theirs, &ok);
            deleteMine += TimeKestrixDelete(tools, mine, &ok);
        }
        if (!Missing(mine) || !Missing(theirs)) {
            std::printf("a deleted tree is still there\n");
            ok = false;
        }
    }
    tools.pfnRegDeleteTreeA(HKEY_CURRENT_USER, root.c_str());

    std::printf("copy   (2 runs): RegCopyEx   %7.2f s   RegCopyTreeA   %7.2f s   ratio %.2f\n",
                copyMine, copyTheirs, copyMine / copyTheirs);
    std::printf("delete (2 runs): RegDelKeyEX %7.2f s   RegDeleteTreeA %7.2f s   ratio %.2f\n",
                deleteMine, deleteTheirs, deleteMine / deleteTheirs);
    std::printf("(ratio = Kestrix time / platform time; below 1.00 is faster)\n");
    if (!ok)
        std::printf("FAILED: a call did not succeed\n");
    FreeLibrary(kestrix);
    return ok ? 0 : 1;
}
