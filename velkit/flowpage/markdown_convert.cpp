#include "markdown_convert.hpp"

namespace velkit::flowpage {

MarkdownConverter::MarkdownConverter(py::object markdown) {
    // The fence's info string names the language: these mean a diagram.
    py::list fences;
    py::cpp_function format([this](py::object source, py::args, py::kwargs) -> std::string {
        return sink_ != nullptr ? (*sink_)(source.cast<std::string>()) : std::string();
    });
    for (const char* name : {"mermaid", "Mermaid", "MERMAID"}) {
        py::dict fence;
        fence["name"] = name;
        fence["class"] = "mermaid";
        fence["format"] = format;
        fences.append(fence);
    }
    py::dict configs;
    py::dict superfences;
    superfences["custom_fences"] = fences;
    configs["pymdownx.superfences"] = superfences;
    py::dict highlight;
    highlight["noclasses"] = true;     // colours written on the code itself: nothing else to load
    highlight["guess_lang"] = false;   // a block without a language stays plain
    highlight["pygments_lang_class"] = true;
    configs["pymdownx.highlight"] = highlight;
    converter_ = markdown.attr("Markdown")(
        py::arg("extensions") = py::make_tuple("pymdownx.highlight", "pymdownx.superfences", "tables"),
        py::arg("extension_configs") = configs);
}

std::string MarkdownConverter::convert(const std::string& text, const FenceSink& sink) {
    sink_ = &sink;
    struct Reset {
        const FenceSink*& sink;
        ~Reset() { sink = nullptr; }
    } reset{sink_};
    converter_.attr("reset")();
    py::object html = converter_.attr("convert")(py::bytes(text).attr("decode")("utf-8"));
    return html.cast<std::string>();
}

std::optional<std::string> front_matter_title(const std::string& yaml) {
    py::object data = py::module_::import("yaml").attr("safe_load")(py::bytes(yaml).attr("decode")("utf-8"));
    if (data.is_none()) return "";  // an empty block
    if (!py::isinstance<py::dict>(data)) return std::nullopt;
    py::dict mapping = data;
    if (!mapping.contains("title")) return "";
    py::object title = mapping["title"];
    if (title.is_none()) return "";
    return py::str(title).cast<std::string>();
}

}  // namespace velkit::flowpage
