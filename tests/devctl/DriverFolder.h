// A program folder laid out for REGISTER and UNREGISTER: Torvane.exe, the stand-in driver tools
// and library (tests/tools), and an INF; with the journal the stand-ins keep there.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace devtest {

enum class Library { WithExport, WithoutExport, Missing };

// The stand-in tools, under the names the product starts them by.
extern const char* const TOOL_NAMES[5];

// The file name Torvane.exe has in a driver folder. The driver tests set the Windows version
// Wine reports to it; under its own name that setting reaches no other test's Torvane.exe.
extern const char DRIVER_TORVANE[];

class CDriverFolder : public test::CProgramFolder {
public:
    // A folder with Torvane.exe, all five tools, Ulmora.dll as asked, and the bundled sample
    // INF as scanner.inf.
    explicit CDriverFolder(const std::string& tag, Library library = Library::WithExport,
                           bool withBlank = false);
    // Lets every tool told to run forever end, and waits (bounded) until it has.
    ~CDriverFolder();

    void Remove(const std::string& name) const;
    void WriteFile(const std::string& name, const std::string& bytes) const;

    // Makes a tool run on: "1500" (milliseconds) or "forever" (until Release).
    void Hold(const std::string& tool, const std::string& how);
    // Lets a tool held forever end; true once its journal says it ended (bounded wait).
    bool Release(const std::string& tool);
    // Whether the tool next started only after the held tool had ended, by the tick counts the
    // stand-ins record (stamps.txt): a run that did not wait starts it while the other still runs.
    testing::AssertionResult StartedAfterEnd(const std::string& next,
                                             const std::string& held) const;

    // The folder in short form, as the product names it in its command lines.
    std::string ShortPath() const;
    // The expected journal line of a tool started from folder (default: the short form).
    std::string ToolLine(const std::string& tool, const std::string& tail = "") const;

    // The journal's lines; empty when no stand-in wrote one. TakeJournal also deletes it, for
    // the next run.
    std::vector<std::string> Journal() const;
    std::vector<std::string> TakeJournal() const;
    bool HasJournal() const { return test::FileExists(File("journal.txt")); }
    // Waits (bounded) until the journal holds line.
    bool WaitForJournalLine(const std::string& line, unsigned long timeoutMs = 20000) const;

private:
    std::vector<std::string> m_heldForever;
};

// Runs Torvane.exe of folder with args, from currentDirectory (default: this process's), and
// expects it to end within a minute with exit status 0.
void RunTorvaneIn(const CDriverFolder& folder, const std::string& args,
                  const std::string& currentDirectory = "");

// The journal line of one call of the library's export.
std::string LibraryCall(const std::string& text, int code);

// The lines of a journal file (CR LF separated); empty when it is missing.
std::vector<std::string> JournalLines(const std::string& path);

// The two distinct USB ids of the bundled sample INF, in file order.
extern const char SAMPLE_ID_1[];
extern const char SAMPLE_ID_2[];

// Judges the rows of a per-version table (fields windows, b64, args) meant for this prefix's
// bitness (b64: under WOW64), each under the Windows version it names: check(row, where), where
// naming the row in messages. A table with no row for this prefix fails.
template <class Row, size_t N, class Check>
void ForRowsOfThisPrefix(const Row (&rows)[N], Check check) {
    size_t nRows = 0;
    for (const Row& row : rows) {
        if (row.b64 != test::IsWow64())
            continue;
        ++nRows;
        test::CWindowsVersionOverride version(DRIVER_TORVANE, row.windows);
        check(row, std::string(row.windows) + ": " + row.args);
    }
    EXPECT_NE(0u, nRows) << "no row for this prefix";
}

} // namespace devtest
