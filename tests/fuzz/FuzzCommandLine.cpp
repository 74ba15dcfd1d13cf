// Fuzz target: the command-line splitter on any text. Checks what must hold for every line:
// terminated fields, tokens without blanks, limits kept, refusal exactly when input is too long.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "setup/CommandLine.h"

namespace {

void UpperCaseAscii(char* pszText, unsigned int cch) {
    for (unsigned int i = 0; i < cch; ++i) {
        if (pszText[i] >= 'a' && pszText[i] <= 'z')
            pszText[i] = static_cast<char>(pszText[i] - 'a' + 'A');
    }
}

void Check(bool condition) {
    if (!condition)
        abort();
}

size_t CheckedLength(const char* psz, size_t cbBuffer) {
    const void* pEnd = memchr(psz, '\0', cbBuffer);
    Check(pEnd != nullptr);
    size_t cch = static_cast<const char*>(pEnd) - psz;
    Check(memchr(psz, ' ', cch) == nullptr);
    return cch;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string line(reinterpret_cast<const char*>(data), size);
    line = line.c_str(); // the platform hands over a NUL-terminated line
    tagCommandLine parts;
    int result = SplitCommandLine(line.c_str(), UpperCaseAscii, &parts);

    Check(result == (parts.bTooLong ? 0 : 1));
    size_t cchCommand = strnlen(parts.szCommand, sizeof(parts.szCommand));
    Check(cchCommand < sizeof(parts.szCommand));
    CheckedLength(parts.szArgument, sizeof(parts.szArgument));
    CheckedLength(parts.szExtra, sizeof(parts.szExtra));
    if (line.size() > COMMAND_LINE_MAX)
        Check(parts.bTooLong == 1);
    if (!parts.bHasExtra)
        Check(parts.szExtra[0] == '\0' && parts.nQuiet == 0 && parts.nStopWia == 0);
    Check(!(parts.nQuiet && parts.nStopWia));
    if (!parts.bTooLong) {
        // Every kept token appears, upper-cased, in the upper-cased line.
        std::string upper = line;
        UpperCaseAscii(&upper[0], static_cast<unsigned int>(upper.size()));
        Check(upper.find(parts.szCommand) != std::string::npos);
        Check(upper.find(parts.szArgument) != std::string::npos);
        Check(upper.find(parts.szExtra) != std::string::npos);
    }
    return 0;
}
