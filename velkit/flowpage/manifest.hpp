// The files flowpage wrote into an output folder, kept in a small file
// there, so that a run never replaces a file somebody else put there.
#pragma once
#include <set>
#include <string>

namespace velkit::flowpage {

inline constexpr const char* kManifestName = ".flowpage-manifest";

class Manifest {
public:
    // The manifest of `output_folder`; empty when there is none.
    static Manifest load(const std::string& output_folder);

    // True when flowpage may write `relative` (a path inside the output
    // folder): nothing is there, or flowpage wrote it. A page that an
    // earlier version wrote, before there was a manifest, is recognised by
    // its fixed head, and the drawing beside such a page with it.
    bool may_write(const std::string& relative) const;

    bool owns(const std::string& relative) const { return entries_.count(relative) != 0; }
    void add(const std::string& relative) { entries_.insert(relative); }

    // Writes the manifest with the entries that still exist.
    void save() const;

    const std::set<std::string>& entries() const { return entries_; }

private:
    std::string folder_;
    std::set<std::string> entries_;
};

// True when the file starts like a page or index that flowpage writes.
bool looks_like_flowpage_page(const std::string& path);

}  // namespace velkit::flowpage
