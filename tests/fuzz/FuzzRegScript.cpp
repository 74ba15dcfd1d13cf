// Fuzz target: the registry-script reader and writer on any bytes. The written text must read
// back to the same tree: writing, reading back and writing again keeps the same set of
// sections, values and texts, in the encoding read (8-bit, marked UTF-8, UTF-16LE). ASCII text
// read as UTF-16 gives what it gives as 8-bit text.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <set>
#include <string>
#include <vector>

#include "regscript/IniFile.h"
#include "tests/regscript/IniFileAccess.h"
#include "regscript/TextUtf16.h"
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

// The written text without its byte-order mark, UTF-16 as UTF-8.
std::string Decode(const std::string& written, int nEncoding) {
    if (nEncoding == TEXT_UTF8_MARKED) {
        Check(written.compare(0, 3, "\xEF\xBB\xBF") == 0);
        return written.substr(3);
    }
    if (nEncoding != TEXT_UTF16LE)
        return written;
    Check(written.size() % 2 == 0 && written.compare(0, 2, "\xFF\xFE") == 0);
    std::string utf8(written.size() / 2 * 3, '\0');
    utf8.resize(Utf16LeToUtf8(reinterpret_cast<const unsigned char*>(written.data() + 2),
                              written.size() / 2 - 1, &utf8[0]));
    return utf8;
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
    Check(nTaken >= 0 && nTaken == CIniFileTestAccess::ValuesTaken(first));
    Check(CIniFileTestAccess::LoadState(first) != LOAD_INCOMPLETE);
    const std::string written = Write(first);
    const int nEncoding = CIniFileTestAccess::Encoding(first);
    const std::set<std::string> contents = Contents(Decode(written, nEncoding));

    CIniFile second(&native::TextPlatform());
    Load(&second, written);
    Check(CIniFileTestAccess::LoadState(second) != LOAD_INCOMPLETE);
    Check(nTaken == 0 || (CIniFileTestAccess::Encoding(second) == nEncoding &&
                          CIniFileTestAccess::LoadState(second) == LOAD_WHOLE));
    const std::string rewritten = Write(second);
    Check(Contents(Decode(rewritten, CIniFileTestAccess::Encoding(second))) == contents);

    // ASCII text as UTF-16: the same sections, values and texts.
    bool bAscii = true;
    for (char c : input)
        bAscii = bAscii && static_cast<unsigned char>(c) < 0x80;
    if (bAscii) {
        std::string utf16 = "\xFF\xFE";
        for (char c : input)
            utf16 += std::string(1, c) + '\0';
        CIniFile wide(&native::TextPlatform());
        Check(Load(&wide, utf16) == nTaken);
        Check(Contents(Decode(Write(wide), CIniFileTestAccess::Encoding(wide))) == contents);
    }
    return 0;
}
