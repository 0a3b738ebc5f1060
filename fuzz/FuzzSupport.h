// FuzzSupport.h - what the fuzz targets share: the check of what must hold, and a
// private scratch folder (made once under /dev/shm, else /tmp, removed at exit).
#pragma once
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

namespace fuzz {

// A broken invariant is a finding: the target stops as on a crash.
inline void Check(bool holds) {
    if (!holds)
        __builtin_trap();
}

// The target's scratch folder, made on the first call.
inline const std::string &Scratch(const char *stem) {
    static std::string dir;
    if (dir.empty()) {
        std::string shm = std::string("/dev/shm/") + stem + "-XXXXXX";
        std::string tmp = std::string("/tmp/") + stem + "-XXXXXX";
        const char *made = mkdtemp(shm.data());
        if (!made)
            made = mkdtemp(tmp.data());
        Check(made != nullptr);
        dir = made;
        atexit([] {
            std::string cmd = "rm -rf '" + dir + "'";
            if (system(cmd.c_str()) != 0) {
            }
        });
    }
    return dir;
}

// Writes the bytes as the whole of the file at path.
inline void WriteBytes(const std::string &path, const void *data, size_t size) {
    FILE *f = fopen(path.c_str(), "wb");
    Check(f != nullptr);
    if (size)
        fwrite(data, 1, size, f);
    fclose(f);
}

}  // namespace fuzz
