// The settings of a rename run, checked once. Plain C++.
#pragma once
#include <string>

namespace velkit::receipt_sort {

struct RenameOptions {
    std::string input_path = "./data_receipt_sort";  // file-system bytes
    bool dry_run = false;
    std::string name_cell = "D6";  // single-cell references, as the user wrote them
    std::string amount_cell = "P56";
};

}  // namespace velkit::receipt_sort
