// OrderMatch: matches the system order export against the customer's order
// sheet on purchase order and quantity, writes the result workbook and the
// lines that found no partner.
#pragma once
#include "velkit/frame/pybind.hpp"

#include <optional>
#include <string>

#include "options.hpp"
#include "velkit/frame/run_tally.hpp"

namespace velkit::order_match {

// One input file as the messages name it.
struct Side {
    std::string label;       // "System data"
    std::string other;       // the other side in reasons: "customer"
    std::string file;        // the file's name, for messages
    std::string sheet;       // the sheet read; empty for a CSV file
    int first_row = 1;       // first data row of the mapping
    std::string po_letters;  // column letters, to name cells
    std::string qty_letters;

    // "System data (sys.csv)"
    std::string named() const { return label + " (" + file + ")"; }
};

// The line counts of a run that got as far as matching.
struct LineCounts {
    size_t pairs = 0;
    size_t system_matched = 0;
    size_t customer_matched = 0;
    size_t system_lines = 0;
    size_t customer_lines = 0;
    std::string system_file;
    std::string customer_file;
};

class OrderMatch {
public:
    explicit OrderMatch(Options options) : options(std::move(options)) {}

    // (success, message); processing failures come back as a pair.
    py::tuple run();

    Options options;
    py::object system_df = py::none();
    py::object customer_df = py::none();
    py::object result_df = py::none();
    frame::RunTally tally;
    std::optional<LineCounts> counts;

private:
    py::tuple checked_run();
    py::tuple process();
    py::tuple failure(const std::string& message);
    // The run got past the check of the files it replaces.
    bool stale_results_removable_ = false;
};

// "Matched ...; unmatched: ..." for the closing summary.
std::string counts_text(const LineCounts& counts);

void register_order_match(py::module_& m);

}  // namespace velkit::order_match
