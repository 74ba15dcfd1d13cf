// Kestrix.dll as its callers meet it: loaded by name from the caller's folder, exports found by
// name and by ordinal, stdcall, the export and import tables of the built file, its version
// resource, and a C program linked to its import library.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <type_traits>
#include <vector>

#include "Version.h"
#include "kestrix/KestrixTestSupport.h"
#include "support/TestSupport.h"

// The caller header declares every export stdcall; a cdecl declaration would not compile here
// (in the 32-bit build: x64 has one convention, so there the two types are one).
static_assert(
    std::is_same<PFN_REGCOPYEX, int(__stdcall*)(HKEY, LPCSTR, HKEY, LPCSTR, LPSTR)>::value,
    "RegCopyEx pointer type");
static_assert(std::is_same<PFN_REGDELALLUSERKEYEX, LONG(__stdcall*)(LPCSTR)>::value,
              "RegDelAllUserKeyEx pointer type");
static_assert(std::is_same<PFN_REGDELKEYEX, LONG(__stdcall*)(HKEY, LPCSTR, LPSTR)>::value,
              "RegDelKeyEX pointer type");
static_assert(std::is_same<PFN_REGGETKEYVALUEEX,
                           int(__stdcall*)(LPCSTR, LPCSTR, LPCSTR, LPSTR, LPSTR)>::value,
              "RegGetKeyValueEx pointer type");
static_assert(std::is_same<decltype(&::RegCopyEx), PFN_REGCOPYEX>::value &&
                  std::is_same<decltype(&::RegDelAllUserKeyEx), PFN_REGDELALLUSERKEYEX>::value &&
                  std::is_same<decltype(&::RegDelKeyEX), PFN_REGDELKEYEX>::value &&
                  std::is_same<decltype(&::RegGetKeyValueEx), PFN_REGGETKEYVALUEEX>::value,
              "declarations and pointer types agree");

namespace {

const char* const kExportNames[] = {"RegCopyEx", "RegDelAllUserKeyEx", "RegDelKeyEX",
                                    "RegGetKeyValueEx"};

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

// A 64-bit Windows, whose registry has two views: a 64-bit program runs only there.
bool HasTwoRegistryViews() {
#ifdef _WIN64
    return true;
#else
    return test::IsWow64();
#endif
}

// What differs between the two builds of the DLL beside each test program.
struct tagArchitecture {
    WORD machine;
    // Bytes of arguments each export removes, by ordinal: stdcall on x86 (4 per argument); the
    // one x64 convention leaves them to the caller.
    DWORD argumentBytesRemoved[4];
};
#ifdef _WIN64
const tagArchitecture kArchitecture = {IMAGE_FILE_MACHINE_AMD64, {0, 0, 0, 0}};
#else
const tagArchitecture kArchitecture = {IMAGE_FILE_MACHINE_I386, {20, 4, 12, 20}};
#endif

extern "C" __attribute__((noinline)) int __cdecl AddCdecl(int a, int b) {
    return a + b;
}
extern "C" __attribute__((noinline)) int __stdcall AddStdcall(int a, int b) {
    return a + b;
}

const void* Export(HMODULE module, WORD ordinal) {
    return reinterpret_cast<const void*>(GetProcAddress(module, MAKEINTRESOURCEA(ordinal)));
}

UINT_PTR Arg(const void* p) {
    return reinterpret_cast<UINT_PTR>(p);
}

} // namespace

TEST(KestrixLibrary, LoadsByNameFromTheCallersFolderWithTheFourExports) {
    ktest::CKestrix kestrix;
    ASSERT_NE(nullptr, kestrix.Module()) << "LoadLibraryA(\"Kestrix.dll\") failed";
    EXPECT_TRUE(kestrix.Complete());
    char path[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameA(kestrix.Module(), path, sizeof(path)), 0u);
    EXPECT_EQ(Lower(test::BinFile("Kestrix.dll")), Lower(path));
}

TEST(KestrixLibrary, UnloadsAndLoadsAgain) {
    // The entry point accepts every reason: the library really leaves the process and comes
    // back working.
    HMODULE first = LoadLibraryA("Kestrix.dll");
    ASSERT_NE(nullptr, first);
    ASSERT_TRUE(FreeLibrary(first));
    EXPECT_EQ(nullptr, GetModuleHandleA("Kestrix.dll")) << "still loaded after FreeLibrary";
    ktest::CKestrix again;
    ASSERT_TRUE(again.Complete());
    char text[260] = {};
    EXPECT_EQ(static_cast<int>(ERROR_BADKEY),
              again.pfnRegGetKeyValueEx("HKEY_CURRENT_USER", "", "x", text, nullptr));
}

TEST(KestrixLibrary, OrdinalsOneToFourNameTheSameFunctionsAsTheNames) {
    ktest::CKestrix kestrix;
    ASSERT_TRUE(kestrix.Complete());
    for (WORD ordinal = 1; ordinal <= 4; ++ordinal) {
        FARPROC byOrdinal = GetProcAddress(kestrix.Module(), MAKEINTRESOURCEA(ordinal));
        FARPROC byName = GetProcAddress(kestrix.Module(), kExportNames[ordinal - 1]);
        EXPECT_NE(nullptr, byOrdinal) << ordinal;
        EXPECT_EQ(byName, byOrdinal) << kExportNames[ordinal - 1];
    }
    EXPECT_EQ(nullptr, GetProcAddress(kestrix.Module(), MAKEINTRESOURCEA(5)));
    // Only the plain names are exported, not the compiler's decorated ones.
    EXPECT_EQ(nullptr, GetProcAddress(kestrix.Module(), "_RegCopyEx@20"));
    EXPECT_EQ(nullptr, GetProcAddress(kestrix.Module(), "RegCopyEx@20"));
    EXPECT_EQ(nullptr, GetProcAddress(kestrix.Module(), "DllMain"));
}

TEST(KestrixLibrary, ExportTableOfTheBuiltFileHasThePlainNamesAndFixedOrdinals) {
    std::string bytes = test::ReadFileBytes(test::BinFile("Kestrix.dll"));
    ASSERT_FALSE(bytes.empty());
    ktest::PeTables tables = ktest::ReadPeTables(bytes);
    ASSERT_TRUE(tables.valid);
    // The build for this program's architecture, under the same name.
    EXPECT_EQ(kArchitecture.machine, tables.machine);
    EXPECT_EQ("Kestrix.dll", tables.exportedModuleName);
    EXPECT_EQ(1u, tables.ordinalBase);
    EXPECT_EQ(4u, tables.functionCount);
    ASSERT_EQ(4u, tables.exports.size());

    ktest::CKestrix kestrix;
    ASSERT_TRUE(kestrix.Complete());
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(kExportNames[i], tables.exports[i].name);
        EXPECT_EQ(i + 1, tables.exports[i].ordinal) << kExportNames[i];
        // The table entry is the code GetProcAddress hands out.
        UINT_PTR address =
            reinterpret_cast<UINT_PTR>(GetProcAddress(kestrix.Module(), kExportNames[i]));
        EXPECT_EQ(address - reinterpret_cast<UINT_PTR>(kestrix.Module()), tables.exports[i].rva)
            << kExportNames[i];
    }
}

TEST(KestrixLibrary, ImportsOnlySystemLibraries) {
    ktest::PeTables tables = ktest::ReadPeTables(test::ReadFileBytes(test::BinFile("Kestrix.dll")));
    ASSERT_TRUE(tables.valid);
    ASSERT_FALSE(tables.importedModules.empty());
    bool advapi = false;
    for (const std::string& module : tables.importedModules) {
        std::string name = Lower(module);
        EXPECT_TRUE(name == "kernel32.dll" || name == "advapi32.dll" || name == "msvcrt.dll")
            << "unexpected import " << module;
        advapi = advapi || name == "advapi32.dll";
    }
    EXPECT_TRUE(advapi);
}

TEST(KestrixLibrary, BuiltFilesCarryTheBuildVersionAndNoLinkTime) {
    // Kestrix.dll of this program's architecture and, beside the 32-bit programs, Torvane.exe:
    // the version resource and Torvane's manifest say the version the build was given.
    struct tagBuilt {
        const char* name;
        DWORD fileType;
    };
    std::vector<tagBuilt> files = {{"Kestrix.dll", VFT_DLL}};
#ifndef _WIN64
    files.push_back({"Torvane.exe", VFT_APP});
#endif
    const std::string number = std::to_string(TORVANE_VERSION_MAJOR) + "." +
                               std::to_string(TORVANE_VERSION_MINOR) + "." +
                               std::to_string(TORVANE_VERSION_PATCH);
    ASSERT_EQ(0u, std::string(TORVANE_VERSION_STRING).find(number)) << TORVANE_VERSION_STRING;
    for (const tagBuilt& built : files) {
        SCOPED_TRACE(built.name);
        const std::string file = test::BinFile(built.name);
        DWORD handle = 0;
        DWORD size = GetFileVersionInfoSizeA(file.c_str(), &handle);
        ASSERT_GT(size, 0u);
        std::vector<char> info(size);
        ASSERT_TRUE(GetFileVersionInfoA(file.c_str(), 0, size, info.data()));

        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
        for (DWORD versionMS : {fixed->dwFileVersionMS, fixed->dwProductVersionMS})
            EXPECT_EQ(static_cast<DWORD>(MAKELONG(TORVANE_VERSION_MINOR, TORVANE_VERSION_MAJOR)),
                      versionMS);
        for (DWORD versionLS : {fixed->dwFileVersionLS, fixed->dwProductVersionLS})
            EXPECT_EQ(static_cast<DWORD>(MAKELONG(0, TORVANE_VERSION_PATCH)), versionLS);
        EXPECT_EQ(built.fileType, fixed->dwFileType);

        char* text = nullptr;
        for (const char* value : {"FileVersion", "ProductVersion"}) {
            const std::string query = std::string("\\StringFileInfo\\040904b0\\") + value;
            ASSERT_TRUE(VerQueryValueA(info.data(), query.c_str(), reinterpret_cast<void**>(&text),
                                       &length));
            EXPECT_STREQ(TORVANE_VERSION_STRING, text) << value;
        }
        ASSERT_TRUE(VerQueryValueA(info.data(), "\\StringFileInfo\\040904b0\\OriginalFilename",
                                   reinterpret_cast<void**>(&text), &length));
        EXPECT_STREQ(built.name, text);

        // Two builds of one commit give the same bytes: the linker wrote no time into the header.
        const ktest::PeTables tables = ktest::ReadPeTables(test::ReadFileBytes(file));
        ASSERT_NE(0, tables.machine);
        EXPECT_EQ(0u, tables.timeDateStamp);
        // Torvane.exe hosts the product's library, never promised addresses above 2 GB.
        if (built.fileType == VFT_APP) {
            EXPECT_EQ(0, tables.characteristics & IMAGE_FILE_LARGE_ADDRESS_AWARE);
        }
    }
#ifndef _WIN64
    HMODULE torvane =
        LoadLibraryExA(test::BinFile("Torvane.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, torvane);
    HRSRC resource = FindResourceA(torvane, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(nullptr, resource) << "no manifest";
    const char* manifest = static_cast<const char*>(LockResource(LoadResource(torvane, resource)));
    const std::string text(manifest, SizeofResource(torvane, resource));
    FreeLibrary(torvane);
    EXPECT_NE(std::string::npos, text.find("name=\"Torvane\" version=\"" + number + ".0\""))
        << text;
#endif
}

TEST(KestrixCallingConvention, ProbeTellsStdcallFromCdecl) {
    const struct {
        const void* fn;
        UINT_PTR a, b;
        DWORD removed;
    } cases[] = {
        {reinterpret_cast<const void*>(&AddCdecl), 2, 3, 0},
#ifdef _WIN64
        // stdcall means nothing on x64; the probe still sees a callee that removes arguments.
        {reinterpret_cast<const void*>(&AddStdcall), 4, 5, 0},
        {reinterpret_cast<const void*>(&KestrixTestAddRemoving16), 6, 7, 16},
#else
        {reinterpret_cast<const void*>(&AddStdcall), 4, 5, 8},
#endif
    };
    for (const auto& c : cases) {
        DWORD result = 0;
        EXPECT_EQ(c.removed, ktest::CallMeasuringPop(c.fn, {c.a, c.b}, &result));
        EXPECT_EQ(c.a + c.b, result);
    }
}

TEST(KestrixCallingConvention, EveryExportRemovesItsOwnArguments) {
    ktest::CKestrix kestrix;
    ASSERT_TRUE(kestrix.Complete());
    HMODULE module = kestrix.Module();
    const std::string missing = "Software\\" + test::UniqueName("KestrixNoSuchKey");
    const std::string target = "Software\\" + test::UniqueName("KestrixNotCreated");
    char flag[] = "x64";
    char empty[] = "";
    char out[KESTRIX_VALUE_BUFFER_SIZE] = {};
    DWORD result = 0;

    // Each call returns early (nothing to open), so only the convention is looked at. The
    // exports are reached by ordinal here, as some callers do.
    const DWORD* removed = kArchitecture.argumentBytesRemoved;
    const void* copy = Export(module, 1);
    EXPECT_EQ(removed[0],
              ktest::CallMeasuringPop(copy,
                                      {Arg(HKEY_CURRENT_USER), Arg(missing.c_str()),
                                       Arg(HKEY_CURRENT_USER), Arg(target.c_str()), Arg(flag)},
                                      &result));
    EXPECT_EQ(0u, result);
    EXPECT_FALSE(test::KeyExists(HKEY_CURRENT_USER, target));

    const void* allUsers = Export(module, 2);
    EXPECT_EQ(removed[1], ktest::CallMeasuringPop(allUsers, {Arg(empty)}, &result));
    EXPECT_EQ(static_cast<DWORD>(ERROR_BADKEY), result);

    const void* deleteKey = Export(module, 3);
    EXPECT_EQ(removed[2],
              ktest::CallMeasuringPop(deleteKey, {Arg(HKEY_CURRENT_USER), Arg(empty), 0}, &result));
    EXPECT_EQ(static_cast<DWORD>(ERROR_BADKEY), result);

    const void* getValue = Export(module, 4);
    EXPECT_EQ(removed[3],
              ktest::CallMeasuringPop(
                  getValue, {Arg("HKEY_CURRENT_USER"), Arg(empty), 0, Arg(out), 0}, &result));
    EXPECT_EQ(static_cast<DWORD>(ERROR_BADKEY), result);
}

TEST(KestrixLibrary, CallerLinkedToTheImportLibraryRuns) {
    // A C program built against Kestrix.h and the import library; it checks its own results.
    test::RunResult run =
        test::RunAndWait("\"" + test::BinFile("kestrix_linked_caller.exe") + "\"");
    ASSERT_TRUE(run.started);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode);
}

TEST(KestrixLibrary, X64FlagReachesThe64BitViewWhereThereIsOneAndTheOnlyViewOtherwise) {
    ktest::CKestrix kestrix;
    ASSERT_TRUE(kestrix.Complete());
    const std::string path = "SOFTWARE\\" + test::UniqueName("KestrixX64");
    test::CTestKey key(HKEY_LOCAL_MACHINE, path, KEY_WOW64_64KEY);
    ASSERT_TRUE(test::SetStringValue(HKEY_LOCAL_MACHINE, path, "v", "written", KEY_WOW64_64KEY));

    char flag[] = "x64";
    char out[KESTRIX_VALUE_BUFFER_SIZE] = {};
    EXPECT_EQ(1, kestrix.pfnRegGetKeyValueEx("HKEY_LOCAL_MACHINE", path.c_str(), "v", out, flag));
    EXPECT_STREQ("written", out);
    EXPECT_STREQ("X64", flag);

    // Without the flag either build works in the 32-bit view, where on 64-bit Windows the key is
    // missing; on 32-bit Windows there is one view only.
    int plain = kestrix.pfnRegGetKeyValueEx("HKEY_LOCAL_MACHINE", path.c_str(), "v", out, nullptr);
    EXPECT_EQ(HasTwoRegistryViews() ? ERROR_FILE_NOT_FOUND : 1, plain);

    char copyFlag[] = "X64";
    const std::string copy = path + "_copy";
    test::CCleanup copyKey(HKEY_LOCAL_MACHINE, copy, KEY_WOW64_64KEY);
    ASSERT_EQ(1, kestrix.pfnRegCopyEx(HKEY_LOCAL_MACHINE, path.c_str(), HKEY_LOCAL_MACHINE,
                                      copy.c_str(), copyFlag));
    EXPECT_EQ(test::DumpTree(HKEY_LOCAL_MACHINE, test::Wide(path), KEY_WOW64_64KEY),
              test::DumpTree(HKEY_LOCAL_MACHINE, test::Wide(copy), KEY_WOW64_64KEY));
    EXPECT_EQ(ERROR_SUCCESS, kestrix.pfnRegDelKeyEX(HKEY_LOCAL_MACHINE, copy.c_str(), copyFlag));
    EXPECT_FALSE(test::KeyExistsW(HKEY_LOCAL_MACHINE, test::Wide(copy), KEY_WOW64_64KEY));
}
