#include "setup/Dispatch.h"

#include <string.h>

#include "common/Diagnostics.h"
#include "common/PathText.h"
#include "devctl/DevCtr.h"
#include "devctl/Service.h"
#include "regmaint/RegMaint.h"
#include "common/FileReplace.h"
#include "regscript/IniFile.h"
#include "setup/ScanAdvance.h"

namespace {

typedef int (*PFN_GUARD)(const tagRunContext& context);
typedef int (*PFN_COMMAND)(tagRunContext& context); // returns the exit status

// One row per command word, in the order in which the words are compared.
struct tagCommandRow {
    const char* pszWord;
    PFN_GUARD pfnGuard; // null: no guard
    PFN_COMMAND pfnRun;
    int bWorksOnFile; // input that does not fit means a file that cannot be opened
};

int HasArgument(const tagRunContext& context) {
    return context.pLine->szArgument[0] != '\0';
}

int RunRegister(tagRunContext& context) {
    context.pDevCtr->RegisterDriver(context.pLine->szArgument, context.pLine->nQuiet);
    return EXIT_DONE;
}

int RunUnregister(tagRunContext& context) {
    context.pDevCtr->UnregisterDriver(context.pLine->szArgument, context.pLine->nStopWia);
    return EXIT_DONE;
}

int RunDeleteAllUserKey(tagRunContext& context) {
    RegDelAllUserKey(context.pLine->szArgument);
    return EXIT_DONE;
}

int RunDeleteMachineKey(tagRunContext& context) {
    RegDelKey(HKEY_LOCAL_MACHINE, context.pLine->szArgument);
    return EXIT_DONE;
}

int RunSetSaveFolder(tagRunContext& context) {
    SetSaveFolder(HKEY_LOCAL_MACHINE, context.pLine->szArgument);
    return EXIT_DONE;
}

int RunStopWia(tagRunContext& context) {
    StopNamedService(WIA_SERVICE_NAME, context.pServiceStatus);
    return EXIT_DONE;
}

int RunStartWia(tagRunContext& context) {
    StartNamedService(WIA_SERVICE_NAME, context.pServiceStatus);
    return EXIT_DONE;
}

// The two file commands work on the file that the argument (and the extra token) name in the
// program's folder; a path that does not fit, like a file that cannot be opened, ends the run
// with EXIT_FILE_NOT_OPENED.
int RunOnFile(tagRunContext& context, int (*pfnWork)(tagRunContext& context, const char* pszPath)) {
    char szPath[MAX_PATH];
    if (!FormFilePath(context.hInstance, *context.pLine, szPath, sizeof(szPath))) {
        Diag("the file path does not fit %d bytes: refused", MAX_PATH);
        return EXIT_FILE_NOT_OPENED;
    }
    return pfnWork(context, szPath) ? EXIT_DONE : EXIT_FILE_NOT_OPENED;
}

int TranslatePathFile(tagRunContext& context, const char* pszPath) {
    // The file stays held from its read to its replacement.
    CFileReplacement replacement;
    return context.pIniFile->Load(pszPath, &replacement) != LOAD_NOT_OPENED &&
           context.pIniFile->SaveAndClear(&replacement);
}

int TranslateScanAdvanceFile(tagRunContext&, const char* pszPath) {
    return TranslateScanAdvance(pszPath);
}

int RunTranslatePath(tagRunContext& context) {
    return RunOnFile(context, TranslatePathFile);
}

int RunTranslateScanAdvance(tagRunContext& context) {
    return RunOnFile(context, TranslateScanAdvanceFile);
}

int RunDeleteUserIni(tagRunContext& context) {
    context.pDevCtr->DeleteUserIni(context.pLine->szArgument);
    return EXIT_DONE;
}

const tagCommandRow g_Commands[] = {
    {"REGISTER", HasArgument, RunRegister, 0},
    {"UNREGISTER", HasArgument, RunUnregister, 0},
    {"DELETE_ALLUSER_PRODUCTKEY", HasArgument, RunDeleteAllUserKey, 0},
    {"DELETE_LOCAL_MACHINE_PRODUCTKEY", HasArgument, RunDeleteMachineKey, 0},
    {"SET_SAVE_FOLDER", HasArgument, RunSetSaveFolder, 0},
    // No guard: the status record is still zeros here, and only a running service is stopped.
    {"STOPWIA", nullptr, RunStopWia, 0},
    {"STARTWIA", nullptr, RunStartWia, 0},
    {"TRANSLATEPATH", nullptr, RunTranslatePath, 1},
    {"TRANSLATESCANADVANCE", nullptr, RunTranslateScanAdvance, 1},
    {"Deleteuserini", nullptr, RunDeleteUserIni, 0},
};

const tagCommandRow* FindCommand(const char* pszWord) {
    for (const tagCommandRow& row : g_Commands) {
        if (lstrcmpiA(pszWord, row.pszWord) == 0)
            return &row;
    }
    return nullptr;
}

} // namespace

void UpperCaseAnsi(char* pszText, unsigned int cch) {
    CharUpperBuffA(pszText, cch);
}

int FormFilePath(HINSTANCE hInstance, const tagCommandLine& line, char* pszPath, size_t cbPath) {
    char szModule[MAX_PATH] = {};
    DWORD cchModule = GetModuleFileNameA(hInstance, szModule, sizeof(szModule));
    if (cchModule == 0 || cchModule >= sizeof(szModule))
        return 0;
    // Up to its last backslash that is a character of its own.
    size_t cchFolder = FolderPartLength(szModule, IsAnsiLeadByte);
    szModule[cchFolder] = '\0';
    size_t cchArgument = strlen(line.szArgument);
    size_t cchExtra = line.bHasExtra ? 1 + strlen(line.szExtra) : 0;
    if (cchFolder + cchArgument + cchExtra >= cbPath)
        return 0;

    memset(pszPath, 0, cbPath);
    memcpy(pszPath, szModule, cchFolder);
    memcpy(pszPath + cchFolder, line.szArgument, cchArgument);
    if (line.bHasExtra) {
        pszPath[cchFolder + cchArgument] = ' ';
        memcpy(pszPath + cchFolder + cchArgument + 1, line.szExtra, cchExtra - 1);
    }
    return 1;
}

int RunTorvane(HINSTANCE hInstance, const char* pszCommandLine) {
    tagCommandLine line;
    const int bFits = SplitCommandLine(pszCommandLine, UpperCaseAnsi, &line);

    // Handed to STOPWIA and STARTWIA, which copy the service's status into it.
    SERVICE_STATUS serviceStatus = {};
    CDevCtr devCtr;
    CIniFile iniFile;
    tagRunContext context = {hInstance, &line, &devCtr, &iniFile, &serviceStatus};

    Diag("command \"%s\", argument \"%s\", extra token %s%s%s, quiet %d, keep-stopped %d%s",
         line.szCommand, line.szArgument, line.bHasExtra ? "\"" : "", line.szExtra,
         line.bHasExtra ? "\"" : "(none)", line.nQuiet, line.nStopWia,
         bFits ? "" : ", input does not fit: refused");

    const tagCommandRow* pRow = FindCommand(line.szCommand);
    int nExitStatus = EXIT_DONE;
    if (pRow == nullptr) {
        Diag("no such command: nothing done");
    } else if (!bFits) {
        // Input that does not fit is refused, never cut: a cut name could name another file.
        nExitStatus = pRow->bWorksOnFile ? EXIT_FILE_NOT_OPENED : EXIT_DONE;
    } else if (pRow->pfnGuard != nullptr && !pRow->pfnGuard(context)) {
        Diag("%s: its condition does not hold, nothing done", pRow->pszWord);
    } else {
        nExitStatus = pRow->pfnRun(context);
    }
    Diag("exit status %d", nExitStatus);
    return nExitStatus;
}
