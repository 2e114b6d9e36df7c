// Drawings kept in the output folder between runs, keyed by the diagram's
// text, the renderer that drew it and the options it was drawn with: an
// unchanged diagram is not drawn again.
#pragma once
#include <optional>
#include <set>
#include <string>

namespace velkit::flowpage {

inline constexpr const char* kCacheFolderName = ".flowpage-cache";

// What identifies the renderer behind `executable` without starting it: the
// file it resolves to, that file's size and time, and the version in the
// nearest package.json above it.
std::string renderer_identity(const std::string& executable);

class DiagramCache {
public:
    // `folder` is created when something is stored.
    DiagramCache(std::string folder, std::string renderer_identity, std::string options);

    std::string key(const std::string& source) const;

    std::optional<std::string> find(const std::string& key);
    void store(const std::string& key, const std::string& svg);

    // A diagram the renderer refused: why, so that it is not drawn again
    // until its text or the renderer changes.
    std::optional<std::string> find_failure(const std::string& key);
    void store_failure(const std::string& key, const std::string& problem);

    // Removes the drawings that this run did not ask for.
    void prune() const;

private:
    std::string path_of(const std::string& key, const char* extension = ".svg") const;
    std::optional<std::string> find_file(const std::string& key, const char* extension);

    std::string folder_;
    std::string renderer_;
    std::string options_;
    std::set<std::string> used_;
};

}  // namespace velkit::flowpage
