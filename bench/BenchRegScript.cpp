// bench_regscript FILE: rewrites FILE as TRANSLATEPATH does (CIniFile::Load, then SaveAndClear)
// in this process and prints the milliseconds of each step, without the process start that
// dominates a small file's run under Wine: the benchmark's time per MB.
#include <windows.h>

#include <stdio.h>

#include "common/FileReplace.h"
#include "regscript/IniFile.h"
#include "tests/regscript/IniFileAccess.h"

namespace {

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return (to.QuadPart - from.QuadPart) * 1000.0 / frequency.QuadPart;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: bench_regscript FILE\n");
        return 2;
    }
    LARGE_INTEGER t0, t1, t2;
    QueryPerformanceCounter(&t0);
    CIniFile file;
    CFileReplacement replacement;
    if (!file.Load(argv[1], &replacement)) {
        fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    QueryPerformanceCounter(&t1);
    const long nValues = CIniFileTestAccess::ValuesTaken(file);
    const int bSaved = file.SaveAndClear(&replacement);
    QueryPerformanceCounter(&t2);
    printf("load %.0f ms (%ld values)\nwrite %.0f ms%s\n", Milliseconds(t0, t1), nValues,
           Milliseconds(t1, t2), bSaved ? "" : " (FAILED)");
    return bSaved ? 0 : 1;
}
