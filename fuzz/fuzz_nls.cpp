// fuzz_nls.cpp - libFuzzer target over the language choice: the input up to its
// first line end is the LANG value, the rest a "trans.conf" beside the program (a
// private folder). What must hold: the normalised table is shorter than its limit;
// the language chosen is a non-empty word without blank or line end, and is
// "en_US" or a word of the table; the choice made from the environment and the
// file is the one made from the value and the table in memory.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Buffers.h"
#include "FuzzSupport.h"
#include "MemMgr.h"
#include "NlsUtils.h"

namespace {

using fuzz::Check;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string &scratch = fuzz::Scratch("fuzznls");
    pToolPath = const_cast<char *>(scratch.c_str());
    if (size > 16384)
        return 0;
    std::string input(reinterpret_cast<const char *>(data), size);
    size_t nl = input.find('\n');
    std::string lang = input.substr(0, nl);
    lang = lang.c_str();
    std::string conf = nl == std::string::npos ? std::string() : input.substr(nl + 1);

    char *table = ParseTransText(conf.data(), conf.size());
    Check(table && std::strlen(table) < static_cast<size_t>(NLS_TRANS_MAX));
    char *chosen = NlsChooseLanguage(table, lang.c_str());
    Check(chosen && *chosen && !std::strpbrk(chosen, " \n\r"));
    Check(std::strcmp(chosen, "en_US") == 0 || std::strstr(table, chosen));

    fuzz::WriteBytes(scratch + "/trans.conf", conf.data(), conf.size());
    setenv("LANG", lang.c_str(), 1);
    NlsResetLang();
    const char *fromFile = GetDesiredNLSLang();
    Check(fromFile && std::strcmp(fromFile, chosen) == 0);
    NlsResetLang();
    PutMem(chosen);
    PutMem(table);
    return 0;
}
