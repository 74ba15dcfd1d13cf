// Splitting Torvane's command line into command word, argument and extra token.
//
// Pure text logic: no Win32 call is made here. The caller passes in the upper-casing of the
// system's ANSI code page, so the splitter can also be built and fuzzed natively.
#pragma once

enum {
    COMMAND_LINE_MAX = 259, // characters of the whole command line
    COMMAND_BUFFER_SIZE = 260,
    ARGUMENT_BUFFER_SIZE = 80, // the argument holds at most 79 characters
    EXTRA_BUFFER_SIZE = 260
};

// Upper-cases cch bytes of text in place, treating double-byte characters as one unit.
typedef void (*PFN_UPPERCASE)(char* pszText, unsigned int cch);

struct tagCommandLine {
    char szCommand[COMMAND_BUFFER_SIZE];   // command word (empty when the line has no token)
    char szArgument[ARGUMENT_BUFFER_SIZE]; // second token, empty when there is none
    char szExtra[EXTRA_BUFFER_SIZE];       // third token, valid when bHasExtra is 1
    int bHasExtra;
    int nQuiet;   // 1 when the third token is "/Q"
    int nStopWia; // 1 when the third token is "STOPWIA"
    int bTooLong; // 1 when the line or a token does not fit: no operation may run
};

// Splits pszLine (null counts as empty) into *pOut. Tokens are separated by runs of the blank
// " " alone; tabs and double quotes are ordinary characters. Every token is upper-cased with
// pfnUpper; tokens after the third are ignored. A line longer than COMMAND_LINE_MAX characters,
// or an argument longer than ARGUMENT_BUFFER_SIZE - 1, sets bTooLong: the fields then hold what
// fitted, never a shortened token. Returns 1 when the line fits, 0 when bTooLong is set.
int SplitCommandLine(const char* pszLine, PFN_UPPERCASE pfnUpper, tagCommandLine* pOut);
