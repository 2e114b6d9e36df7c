#include "velkit/frame/command.hpp"

#include "velkit/frame/config_values.hpp"
#include "velkit/frame/console.hpp"
#include "velkit/frame/text.hpp"

#ifndef VELKIT_VERSION
#define VELKIT_VERSION "0.0.0"
#endif

namespace velkit::frame {

namespace {

// click's path type for an existing file, whose refusal of a relative
// path also names the absolute path that was looked for.
py::object existing_path_type() {
    py::module_ click = py::module_::import("click");
    py::object path_class = click.attr("Path");
    py::dict members;
    members["__module__"] = "velkit.frame";
    members["__doc__"] = "click.Path(exists=True) naming the absolute path it looked for.";
    py::object type_class = py::module_::import("builtins").attr("type")("ExistingPath", py::make_tuple(path_class), members);
    type_class.attr("convert") = py::cpp_function(
        [path_class](py::object self, py::object value, py::object param, py::object ctx) -> py::object {
            try {
                return path_class.attr("convert")(self, value, param, ctx);
            } catch (py::error_already_set& error) {
                if (!error.matches(py::module_::import("click").attr("BadParameter"))) throw;
                py::module_ os_path = py::module_::import("os.path");
                if (py::bool_(os_path.attr("lexists")(value)) || py::bool_(os_path.attr("isabs")(value))) throw;
                std::string message = py::str(error.value().attr("message"));
                if (!message.empty() && message.back() == '.') message.pop_back();
                self.attr("fail")(message + " (looked for " + shown(os_path.attr("abspath")(value)) +
                                      ", relative to the current folder).",
                                  param, ctx);
                throw;
            }
        },
        py::name("convert"), py::is_method(type_class));
    return type_class(py::arg("exists") = true);
}

}  // namespace

py::object make_command(const ToolDescriptor& tool, const std::string& help, Callback callback) {
    py::module_ click = py::module_::import("click");
    py::list params;
    params.append(click.attr("Option")(py::make_tuple("--config", "-c"), py::arg("type") = existing_path_type(),
                                       py::arg("help") = tool.config_help));
    params.append(click.attr("Option")(py::make_tuple("--generate-config"), py::arg("is_flag") = true,
                                       py::arg("help") = tool.generate_help));
    params.append(click.attr("Option")(py::make_tuple("--quiet", "-q"), py::arg("is_flag") = true,
                                       py::arg("help") = "Show only warnings, errors and the closing summary."));
    params.append(click.attr("Option")(py::make_tuple("--verbose", "-v"), py::arg("is_flag") = true,
                                       py::arg("help") = "Show debug lines too, as VELKIT_DEBUG=1 does."));

    // The callback's __doc__ is the tool's own text, without a signature line.
    py::options options;
    options.disable_function_signatures();
    std::string logger_name = tool.logger;
    py::cpp_function function(
        [callback, logger_name](py::object config, bool generate_config, bool quiet, bool verbose) {
            if (quiet && verbose) {
                py::object usage_error = py::module_::import("click").attr("UsageError");
                py::set_error(usage_error, usage_error("--quiet and --verbose cannot be used together."));
                throw py::error_already_set();
            }
            RunConsole console(quiet ? Verbosity::quiet : verbose ? Verbosity::verbose : Verbosity::normal,
                               logger_name);
            callback(std::move(config), generate_config);
        },
        py::name(("cmd_" + std::string(tool.module)).c_str()), py::arg("config") = py::none(), py::arg("generate_config") = false,
        py::arg("quiet") = false, py::arg("verbose") = false, py::doc(tool.callback_doc));

    py::object command = click.attr("Command")(tool.command, py::arg("params") = params,
                                               py::arg("callback") = function, py::arg("help") = help);
    return click.attr("version_option")(py::arg("version") = VELKIT_VERSION)(command);
}

void exit_with(int status) {
    py::set_error(PyExc_SystemExit, py::int_(status));
    throw py::error_already_set();
}

void echo(const std::string& line) { py::module_::import("click").attr("echo")(line); }

bool given(py::handle config) { return !config.is_none() && py::len(config) > 0; }

std::string missing_packages_text(const std::string& what, const std::string& packages, const std::string& extra) {
    return "Missing required " + what + " (" + packages + "). Install " +
           (packages.find(',') == std::string::npos ? "it" : "them") + " with: pip install 'velkit[" + extra + "]'";
}

py::object read_config_file(py::handle config) {
    begin_configuration();
    try {
        return helperlib::read_json_object(config);
    } catch (py::error_already_set& error) {
        if (!error.matches(PyExc_ValueError)) throw;
        py::object exception_class = py::module_::import("click").attr("ClickException");
        py::object reason = py::str(error.value());
        py::set_error(exception_class, exception_class(reason));
        throw py::error_already_set();
    }
}

}  // namespace velkit::frame
