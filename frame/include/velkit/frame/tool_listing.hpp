// How `vel-kit` lists a tool without importing it: its command name, its
// module inside the velkit package, one line for the listing and the pip
// extra that brings its packages. Each tool declares its own in
// `velkit/<tool>/listing.hpp`; the host collects them from the build's one
// list of tools (VELKIT_TOOLS), so there is no second list to keep.
#pragma once

namespace velkit::frame {

struct ToolListing {
    const char* command;
    const char* module;
    const char* summary;
    const char* extra;
};

}  // namespace velkit::frame
