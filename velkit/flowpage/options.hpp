// flowpage's settings, read once from the configuration and checked there;
// the run uses only this struct.
#pragma once
#include <map>
#include <string>

namespace velkit::flowpage {

struct SiteOptions {
    std::string input_folder;   // file-system bytes
    std::string output_folder;  // file-system bytes
    std::string input_shown;    // the folders as configured, for messages
    std::string output_shown;
    std::string index_title;
    std::map<std::string, std::string> doc_titles;    // file name (bytes) -> title
    std::map<std::string, std::string> chart_titles;  // file name (bytes) -> title
    bool strict = false;  // any warning fails the run (after the site is written)
};

}  // namespace velkit::flowpage
