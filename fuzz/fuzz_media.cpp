// fuzz_media.cpp - libFuzzer target over the installer's media files. The first
// byte picks the file, the rest is its content, written in a private folder:
//   0 a media list "disks", 1 a media list "DISKS" (a DOS diskette's),
//   2 a size file ("isize"; "tsize" reads the same way).
// What must hold: the list read is the file's first 4095 bytes (up to a NUL),
// upper-cased up to the end marker for "DISKS" and unchanged otherwise; its lines
// are numbered from 1 without gaps, none empty, none holding a line end, none the
// end marker; its names are not empty, not the end marker and, on a line without
// escapes, hold no blank, tab or carriage return. A size is taken only when it is a
// finite number that is not negative, and it is the number the text starts with.
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

#include "Errors.h"
#include "Files.h"
#include "FuzzSupport.h"
#include "Installer.h"
#include "MediaList.h"

namespace {

using fuzz::Check;

void NoExit(int) { __builtin_trap(); }

std::string Scratch;

void MediaFile(bool dos, const uint8_t *data, size_t size) {
    unlink((Scratch + "/disks").c_str());
    unlink((Scratch + "/DISKS").c_str());
    fuzz::WriteBytes(Scratch + (dos ? "/DISKS" : "/disks"), data, size);
    GetDisksData(Scratch.c_str());
    std::string expected(reinterpret_cast<const char *>(data), size < 4095 ? size : 4095);
    expected = expected.c_str();
    std::string list = LineBuf;
    Check(list.size() == expected.size());
    for (size_t i = 0; i < list.size(); ++i)
        Check(list[i] == expected[i] ||
              (dos && list[i] == static_cast<char>(std::toupper(static_cast<unsigned char>(expected[i])))));

    int last = 0;
    ForEachListLine(list.c_str(), [&](int number, char *line) {
        Check(number == last + 1);
        last = number;
        Check(*line && !std::strchr(line, '\n') && std::strcmp(line, kEndOfList) != 0);
        bool escapes = std::strchr(line, '\\') != nullptr;
        ForEachListWord(line, [&](const char *name) {
            size_t n = std::strlen(name);
            Check(n > 0 && n < LINEBUF_SIZE && std::strcmp(name, kEndOfList) != 0);
            if (!escapes)
                Check(!std::strpbrk(name, " \t\r"));
        });
    });
}

void SizeFile(const uint8_t *data, size_t size) {
    std::string text(reinterpret_cast<const char *>(data), size);
    text = text.c_str();
    double value = -2.0;
    bool taken = ParseSizeText(text.c_str(), &value);
    double number = strtod(text.c_str(), nullptr);
    Check(taken == (std::isfinite(number) && number >= 0.0));
    if (taken)
        Check(value == number);
    else
        Check(value == -2.0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Scratch = fuzz::Scratch("fuzzmedia");
    pExitHook = NoExit;
    if (size < 1 || size > 16384)
        return 0;
    switch (data[0] % 3) {
    case 0: MediaFile(false, data + 1, size - 1); break;
    case 1: MediaFile(true, data + 1, size - 1); break;
    default: SizeFile(data + 1, size - 1); break;
    }
    return 0;
}
