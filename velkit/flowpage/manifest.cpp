#include "manifest.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "file_error.hpp"
#include "paths.hpp"
#include "safe_files.hpp"

namespace velkit::flowpage {

namespace {

constexpr const char* kHeader = "# files written by flowpage; it replaces only these\n";

// One entry per line: "%", line feed and carriage return are written as
// %25, %0A and %0D.
std::string encode(const std::string& name) {
    std::string out;
    for (char c : name) {
        if (c == '%') out += "%25";
        else if (c == '\n') out += "%0A";
        else if (c == '\r') out += "%0D";
        else out += c;
    }
    return out;
}

std::string decode(const std::string& line) {
    std::string out;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '%' && i + 2 < line.size()) {
            std::string code = line.substr(i + 1, 2);
            if (code == "25") { out += '%'; i += 2; continue; }
            if (code == "0A") { out += '\n'; i += 2; continue; }
            if (code == "0D") { out += '\r'; i += 2; continue; }
        }
        out += line[i];
    }
    return out;
}

bool exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

std::string read_start(const std::string& path, size_t size) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return "";
    std::string data(size, '\0');
    ssize_t got = ::read(fd, data.data(), size);
    ::close(fd);
    data.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return data;
}

}  // namespace

bool looks_like_flowpage_page(const std::string& path) {
    static const std::string kPageHead =
        "\n<!DOCTYPE html>\n<html>\n<head>\n    <meta charset=\"UTF-8\">\n    <title>";
    static const std::string kPageStyle = "\n    <style>\n        /* Base Notion Style */\n";
    static const std::string kIndexStyle = "\n    <style>\n        body { font-family: -apple-system";
    std::string start = read_start(path, 4096);
    if (start.compare(0, kPageHead.size(), kPageHead) != 0) return false;
    size_t title_end = start.find("</title>");
    if (title_end == std::string::npos) return false;
    std::string after = start.substr(title_end + 8);
    return after.compare(0, kPageStyle.size(), kPageStyle) == 0 || after.compare(0, kIndexStyle.size(), kIndexStyle) == 0;
}

Manifest Manifest::load(const std::string& output_folder) {
    Manifest manifest;
    manifest.folder_ = output_folder;
    std::string path = ::velutil::join_path(output_folder, kManifestName);
    if (!exists(path)) return manifest;
    std::string text = ::velutil::read_file(path);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line[0] != '#') manifest.entries_.insert(decode(line));
        start = end + 1;
    }
    return manifest;
}

bool Manifest::may_write(const std::string& relative) const {
    std::string path = ::velutil::join_path(folder_, relative);
    if (owns(relative) || !exists(path)) return true;
    if (looks_like_flowpage_page(path)) return true;
    auto parts = ::velutil::split_extension(relative);
    if (parts.extension == ".svg") return looks_like_flowpage_page(::velutil::join_path(folder_, parts.stem + ".html"));
    return false;
}

void Manifest::save() const {
    std::string text = kHeader;
    for (const auto& entry : entries_) {
        if (exists(::velutil::join_path(folder_, entry))) text += encode(entry) + "\n";
    }
    std::string path = ::velutil::join_path(folder_, kManifestName);
    try {
        if (::velutil::read_file(path) == text) return;  // unchanged: its time stays
    } catch (const ::velutil::FileError&) {
    }
    ::velutil::write_file_atomically(path, text.data(), text.size(), ::velutil::Durability::kLeaveToSystem);
}

}  // namespace velkit::flowpage
