// Snapshot.h - what a run changed in the isolated root: the root's changes (the
// overlay's upper directory) taken before and after, and the paths that differ.
#pragma once

#include <set>

#include "E2eSupport.h"

namespace e2e {

// Paths of the isolated root that are the runner's, the media's or the run's own.
inline bool Ignored(const std::string &path) {
    for (const char *prefix : {"/tmp", "/site", "/floppy", "/var/lib/floppy-sim", "/answers"})
        if (path == prefix || path.rfind(std::string(prefix) + "/", 0) == 0)
            return true;
    return false;
}

// A file's text without the line that dates its run: the receipt's "date" line and
// the registration's INSTDATE (stamped to the minute), which tell one run from another.
inline std::string WithoutDate(const std::string &path, std::string text) {
    auto endsWith = [&](const std::string &name) {
        return path.size() > name.size() && path.compare(path.size() - name.size(), name.size(), name) == 0;
    };
    const char *key = endsWith("/.install-receipt") ? "\ndate " : path.rfind("/var/sadm/", 0) == 0 ? "\nINSTDATE=" : nullptr;
    if (!key)
        return text;
    size_t at = text.find(key);
    if (at != std::string::npos)
        text.erase(at + 1, text.find('\n', at + 1) - at);
    return text;
}

// Every path kept in the root's changes, with what it is: kind, mode, and the
// content of a file or the target of a link.
using Snapshot = std::map<std::string, std::string>;

inline Snapshot Take(const Box &box) {
    Snapshot shot;
    const std::string root = box.Root("");
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        std::string path = it->path().string().substr(root.size());
        if (Ignored(path))
            continue;
        std::string what = std::to_string(Mode(it->path().string()));
        if (IsLink(it->path().string()))
            what += " link " + LinkTarget(it->path().string());
        else if (IsDir(it->path().string()))
            what += " dir";
        else if (it->is_regular_file())
            what += " file " + WithoutDate(path, ReadFile(it->path().string()));
        else
            what += " other";  // a whiteout: a host file deleted
        shot[path] = what;
    }
    return shot;
}

// Paths added, removed or changed between two snapshots.
inline std::set<std::string> Changed(const Snapshot &before, const Snapshot &after) {
    std::set<std::string> changed;
    for (const auto &[path, what] : after) {
        auto old = before.find(path);
        if (old == before.end() || old->second != what)
            changed.insert(path);
    }
    for (const auto &[path, what] : before)
        if (!after.count(path))
            changed.insert(path);
    return changed;
}

// path lies below dir.
inline bool Under(const std::string &path, const std::string &dir) {
    return path.size() > dir.size() && path.compare(0, dir.size(), dir) == 0 && path[dir.size()] == '/';
}

}  // namespace e2e
