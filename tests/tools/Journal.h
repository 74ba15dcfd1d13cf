// The journal the stand-in tools keep: journal.txt in the folder of the module that writes it,
// one line per record, appended whole, so that several stand-ins in one folder keep one ordered
// record of what they received. With STANDIN_JOURNAL_FOLDER set in the environment, the journal
// is kept in that folder instead (for tests whose program folder is removed with everything in
// it).
#pragma once

#include <windows.h>

#include <string>

namespace standin {

const char JOURNAL_NAME[] = "journal.txt";
// Beside the journal: "<tool> started <tick>" and "<tool> ended <tick>" for each held tool, the
// system's tick count when it started and when it ended, so that a test can tell exactly
// whether the next program started after a tool ended.
const char STAMPS_NAME[] = "stamps.txt";
// Beside the journal: the current directory each tool was started in, one line per start.
const char CURRENT_DIRECTORIES_NAME[] = "curdirs.txt";
const char JOURNAL_FOLDER_VARIABLE[] = "STANDIN_JOURNAL_FOLDER";

// The folder (no trailing backslash) and the file name of a loaded module (null: the program).
std::string ModuleFolder(HMODULE hModule);
std::string ModuleFileName(HMODULE hModule);

// Appends line and CR LF to the journal in folder (or the folder the environment names), in one
// write. Retries for up to a minute when another stand-in holds the file; a line that still
// cannot be written is not dropped silently: the file "journal.txt.lost" is created beside the
// journal, which the tests' journal reader reports as a failure.
void AppendToJournal(const std::string& folder, const std::string& line,
                     const char* pszFileName = JOURNAL_NAME);

} // namespace standin
