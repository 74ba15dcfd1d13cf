// Fuzz target: the registry-script reader and writer on any bytes. The written text must read
// back to the same tree: writing, reading back and writing again keeps the same set of
// sections, values and texts.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <set>
#include <string>
#include <vector>

#include "regscript/IniFile.h"
#include "tests/fuzz/NativePlatform.h"

namespace {

void Check(bool condition) {
    if (!condition)
        abort();
}

std::string Write(const CIniFile& file) {
    std::string out;
    const tagTextSink sink = {&out, [](void* p, const char* pBytes, size_t cb) {
                                  static_cast<std::string*>(p)->append(pBytes, cb);
                                  return 1;
                              }};
    Check(file.WriteTree(sink) == 1);
    return out;
}

// The sections and the value lines of each, as a set: "section" and "section\nline".
std::set<std::string> Contents(const std::string& text) {
    std::set<std::string> contents;
    std::string section;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find("\r\n", at);
        Check(end != std::string::npos); // every written line ends in CR LF
        const std::string line = text.substr(at, end - at);
        at = end + 2;
        if (line.empty())
            continue;
        if (line[0] == '[' && line[line.size() - 1] == ']') {
            section = line;
            contents.insert(section);
        } else {
            Check(!section.empty()); // no value line before the first section
            contents.insert(section + "\n" + line);
        }
    }
    return contents;
}

long Load(CIniFile* pFile, const std::string& text) {
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0'); // the spare byte the reader may overwrite
    return pFile->LoadText(buffer.data(), text.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    CIniFile first(&native::TextPlatform());
    const long nTaken = Load(&first, input);
    Check(nTaken >= 0 && nTaken == first.GetValuesTaken());
    Check(!first.LoadFailed());
    const std::string written = Write(first);
    const std::set<std::string> contents = Contents(written);

    CIniFile second(&native::TextPlatform());
    Load(&second, written);
    Check(!second.LoadFailed());
    const std::string rewritten = Write(second);
    Check(Contents(rewritten) == contents);
    return 0;
}
