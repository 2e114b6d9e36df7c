#include "velkit/frame/command.hpp"

#include "velkit/frame/config_values.hpp"
#include "velkit/frame/text.hpp"

namespace velkit::frame {

py::object make_command(const CommandTexts& texts, Callback callback) {
    py::module_ click = py::module_::import("click");
    py::list params;
    params.append(click.attr("Option")(py::make_tuple("--config", "-c"),
                                       py::arg("type") = click.attr("Path")(py::arg("exists") = true),
                                       py::arg("help") = texts.config_help));
    params.append(click.attr("Option")(py::make_tuple("--generate-config"), py::arg("is_flag") = true,
                                       py::arg("help") = texts.generate_help));

    // The callback's __doc__ is the tool's own text, without a signature line.
    py::options options;
    options.disable_function_signatures();
    py::cpp_function function(
        [callback](py::object config, bool generate_config) { callback(std::move(config), generate_config); },
        py::name(texts.callback_name.c_str()), py::arg("config") = py::none(),
        py::arg("generate_config") = false, py::doc(texts.callback_doc.c_str()));

    return click.attr("Command")(texts.name, py::arg("params") = params, py::arg("callback") = function,
                                 py::arg("help") = texts.help);
}

void exit_with(int status) {
    py::set_error(PyExc_SystemExit, py::int_(status));
    throw py::error_already_set();
}

void echo(const std::string& line) { py::module_::import("click").attr("echo")(line); }

bool given(py::handle config) { return !config.is_none() && py::len(config) > 0; }

void require_packages(bool available, const helperlib::Logger& log, const std::vector<std::string>& error_lines) {
    if (available) return;
    for (const auto& line : error_lines) log.error(line);
    exit_with(1);
}

void write_template_if_asked(bool generate_config, py::handle default_config, const std::string& file_name,
                             const std::string& success_prefix) {
    if (!generate_config) return;
    py::object written;
    try {
        written = helperlib::generate_json_template(default_config, file_name);
    } catch (py::error_already_set& error) {
        if (!error.matches(PyExc_OSError)) throw;
        py::object value = error.value();
        std::string reason = value.attr("strerror").is_none() ? shown(value) : shown(value.attr("strerror"));
        std::string where = value.attr("filename").is_none() ? file_name : shown(value.attr("filename"));
        py::module_::import("click").attr("echo")("Error: " + where + " " + reason, py::arg("err") = true);
        exit_with(1);
    }
    echo(success_prefix + std::string(py::str(written)));
    exit_with(0);
}

void require_config_path(py::handle config, const std::vector<std::string>& lines) {
    if (given(config)) return;
    for (const auto& line : lines) echo(line);
    exit_with(1);
}

py::object load_config_section(py::handle config) {
    py::object loaded = helperlib::load_json_file(config, {"config"});
    if (!py::bool_(loaded)) exit_with(1);
    return loaded[py::int_(0)];
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
