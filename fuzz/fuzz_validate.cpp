// fuzz_validate.cpp - libFuzzer target over the validation templates of typed
// entries: the input up to its first NUL is the template, the rest the entry.
// What must hold: the result is one of 0 (valid) to 4, the same entry and template
// give the same result again, and an empty template accepts every entry. Messages
// are printed to a discarded standard output; their waits read an empty input.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include "FuzzSupport.h"
#include "TextMenu.h"

namespace {

using fuzz::Check;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    int fd = open("/dev/null", O_RDONLY);
    if (fd < 0 || dup2(fd, 0) < 0)
        __builtin_trap();
    close(fd);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 4096)
        return 0;
    std::string input(reinterpret_cast<const char *>(data), size);
    size_t cut = input.find('\0');
    std::string templ = input.substr(0, cut);
    std::string entry = cut == std::string::npos ? std::string() : input.substr(cut + 1);
    entry = entry.c_str();
    int r = ValidateEntry(entry.c_str(), templ.c_str());
    Check(r >= 0 && r <= 4);
    Check(ValidateEntry(entry.c_str(), templ.c_str()) == r);
    if (templ.empty())
        Check(r == 0);
    return 0;
}
