#include "result_files.hpp"

#include "state.hpp"
#include "texts.hpp"
#include "velkit/frame/own_outputs.hpp"
#include "velkit/frame/text.hpp"
#include "velkit/frame/velutil_access.hpp"

namespace velkit::order_match {

const char* const kWorkbookCreator = "Velkit order-match";

namespace {

// A temporary name that velutil's clean-up recognises as a leftover of a
// killed run (".NAME.tmp-XXXXXX").
constexpr const char* kPendingSuffix = ".tmp-newrun";

py::object path_in(py::handle output_dir, const std::string& name) {
    return py::module_::import("os.path").attr("join")(output_dir, name);
}

py::object pending_path(py::handle output_dir, const std::string& name) {
    return path_in(output_dir, "." + name + kPendingSuffix);
}

bool is_own(py::handle path) {
    return frame::existing_workbook_output(path, kWorkbookCreator) == frame::Existing::kOwn;
}

void remove_if_there(py::handle path) {
    py::module_ os = py::module_::import("os");
    if (py::bool_(os.attr("path").attr("lexists")(path))) os.attr("remove")(path);
}

// The folder's entries survive a power cut once it is flushed.
void flush_folder(py::handle folder) {
    py::module_ os = py::module_::import("os");
    try {
        py::object fd = os.attr("open")(folder, os.attr("O_RDONLY"));
        try {
            os.attr("fsync")(fd);
        } catch (py::error_already_set&) {
        }
        os.attr("close")(fd);
    } catch (py::error_already_set& error) {
        if (!error.matches(PyExc_OSError)) throw;
    }
}

}  // namespace

std::string result_files_problem(py::handle output_dir) {
    for (const char* name : {kResultFileName, kUnmatchedFileName}) {
        py::object path = path_in(output_dir, name);
        if (frame::existing_workbook_output(path, kWorkbookCreator) == frame::Existing::kOther) {
            return frame::not_own_output_text(path, "order-match", "output_dir");
        }
    }
    return "";
}

bool replace_result_files(py::handle output_dir, py::handle result_sheets, py::handle unmatched_sheets) {
    const helperlib::Logger& log = state().log;
    py::object result = path_in(output_dir, kResultFileName);
    py::object unmatched = path_in(output_dir, kUnmatchedFileName);
    py::object pending_result = pending_path(output_dir, kResultFileName);
    py::object pending_unmatched = pending_path(output_dir, kUnmatchedFileName);
    bool written = (result_sheets.is_none() ||
                    helperlib::write_formatted_excel(pending_result, result_sheets, kWorkbookCreator)) &&
                   (unmatched_sheets.is_none() ||
                    helperlib::write_formatted_excel(pending_unmatched, unmatched_sheets, kWorkbookCreator));
    if (!written) {
        remove_if_there(pending_result);
        remove_if_there(pending_unmatched);
        return false;
    }
    py::object replace = py::module_::import("os").attr("replace");
    // The earlier unmatched list goes before the new result appears.
    if (is_own(unmatched)) {
        remove_if_there(unmatched);
        if (unmatched_sheets.is_none()) log.info("Removed " + frame::shown(unmatched) + " of an earlier run: every line matched.");
    }
    if (!result_sheets.is_none()) {
        replace(pending_result, result);
    } else if (is_own(result)) {
        remove_if_there(result);
        log.info("Removed " + frame::shown(result) + " of an earlier run: its matches no longer hold.");
    }
    if (!unmatched_sheets.is_none()) replace(pending_unmatched, unmatched);
    flush_folder(output_dir);
    return true;
}

void remove_earlier_results(py::handle output_dir, const std::string& why) {
    for (const char* name : {kUnmatchedFileName, kResultFileName}) {
        py::object path = path_in(output_dir, name);
        if (!is_own(path)) continue;
        try {
            remove_if_there(path);
            state().log.info("Removed " + frame::shown(path) + " of an earlier run: " + why);
        } catch (py::error_already_set& error) {
            if (!error.matches(PyExc_OSError)) throw;
            state().log.warning("Cannot remove " + frame::shown(path) + " of an earlier run: " +
                                frame::shown(error.value()));
        }
    }
}

}  // namespace velkit::order_match
