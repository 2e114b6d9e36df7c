// SHA-256 of a text, as 64 lower-case hex digits: the key under which a
// drawn diagram is kept between runs.
#pragma once
#include <string>
#include <string_view>

namespace velkit::flowpage {

std::string sha256_hex(std::string_view data);

}  // namespace velkit::flowpage
