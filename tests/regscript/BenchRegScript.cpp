// bench_regscript FILE [COPY]: rewrites FILE as TRANSLATEPATH does (CIniFile::Load, then
// SaveAndClear) in this process, and prints the milliseconds of each step. With COPY, first
// copies COPY over FILE (the time of that copy is printed too, as a reference).
#include <windows.h>

#include <stdio.h>

#include "regscript/IniFile.h"

namespace {

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return (to.QuadPart - from.QuadPart) * 1000.0 / frequency.QuadPart;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: bench_regscript FILE [COPY]\n");
        return 2;
    }
    LARGE_INTEGER t0, t1, t2, t3;
    if (argc > 2) {
        QueryPerformanceCounter(&t0);
        if (!CopyFileA(argv[2], argv[1], FALSE)) {
            fprintf(stderr, "cannot copy %s\n", argv[2]);
            return 1;
        }
        QueryPerformanceCounter(&t1);
        printf("copy %.0f ms\n", Milliseconds(t0, t1));
    }
    QueryPerformanceCounter(&t0);
    CIniFile file;
    if (!file.Load(argv[1])) {
        fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    QueryPerformanceCounter(&t1);
    const long nValues = file.GetValuesTaken();
    const int bSaved = file.SaveAndClear();
    QueryPerformanceCounter(&t2);
    printf("load %.0f ms (%ld values)\nwrite %.0f ms%s\n", Milliseconds(t0, t1), nValues,
           Milliseconds(t1, t2), bSaved ? "" : " (FAILED)");
    (void)t3;
    return bSaved ? 0 : 1;
}
