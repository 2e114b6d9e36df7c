#include "sheets.hpp"

#include "state.hpp"

namespace velkit::sheet_tile {

namespace {

py::object name(const char* text) { return pdf_name("NameObject")(text); }

py::object number_array(std::initializer_list<double> values) {
    py::list items;
    for (double value : values) items.append(pdf_name("FloatObject")(value));
    return pdf_name("ArrayObject")(items);
}

py::object add_object(py::handle writer, py::handle object) { return writer.attr("_add_object")(object); }

// One stream holding `data` compressed.
py::object compressed_stream(const py::bytes& data) {
    py::object stream = pdf_name("DecodedStreamObject")();
    stream.attr("set_data")(data);
    return stream.attr("flate_encode")();
}

}  // namespace

py::object form_xobject(py::handle writer, py::handle page, const Box& box) {
    py::object contents = page.attr("get")("/Contents");
    if (contents.is_none()) return py::none();
    contents = contents.attr("get_object")();
    py::object form;
    bool is_stream = py::isinstance(contents, pdf_name("StreamObject"));
    // Anything else (a broken reference, a number) draws nothing, as in a
    // viewer.
    if (!is_stream && !py::isinstance<py::list>(contents)) return py::none();
    if (is_stream && contents.attr("get")("/Filter").is_none() == false) {
        // Its compressed bytes are taken over as they are.
        form = contents.attr("clone")(writer, py::arg("force_duplicate") = true);
        for (const char* key : {"/Type", "/Subtype", "/BBox", "/Matrix", "/Resources", "/Group"}) {
            form.attr("pop")(key, py::none());
        }
    } else {
        py::bytes data;
        if (is_stream) {
            data = contents.attr("get_data")();
        } else {
            // An array of streams is one content stream cut into parts.
            py::list parts;
            for (py::handle part : contents) {
                py::object stream = part.attr("get_object")();
                if (py::isinstance(stream, pdf_name("StreamObject"))) parts.append(stream.attr("get_data")());
            }
            data = py::bytes("\n").attr("join")(parts);
        }
        form = compressed_stream(data);
    }
    form[name("/Type")] = name("/XObject");
    form[name("/Subtype")] = name("/Form");
    form[name("/BBox")] = number_array({box.left, box.bottom, box.left + box.width, box.bottom + box.height});
    py::object resources = page.attr("get")("/Resources");
    form[name("/Resources")] =
        resources.is_none() ? pdf_name("DictionaryObject")() : resources.attr("clone")(writer);
    py::object group = page.attr("get")("/Group");
    if (!group.is_none()) form[name("/Group")] = group.attr("clone")(writer);
    py::object reference = py::getattr(form, "indirect_reference", py::none());
    return reference.is_none() ? add_object(writer, form) : reference;
}

Sheets::Sheets(py::object writer, double width, double height)
    : writer_(std::move(writer)), width_(width), height_(height) {}

void Sheets::start() {
    finish();
    sheet_ = writer_.attr("add_blank_page")(py::arg("width") = width_, py::arg("height") = height_);
    forms_ = pdf_name("DictionaryObject")();
    content_.clear();
}

void Sheets::place(py::handle form, const Matrix& placement) {
    std::string form_name = "P" + std::to_string(form_count_++);
    forms_[name(("/" + form_name).c_str())] = form;
    draw(placement_content(placement, form_name));
}

void Sheets::draw(const std::string& operators) {
    content_ += operators;
    if (!content_.empty() && content_.back() != '\n') content_ += '\n';
}

py::object Sheets::annotations() {
    py::object annots = sheet_.attr("get")("/Annots");
    if (annots.is_none()) {
        annots = pdf_name("ArrayObject")();
        sheet_[name("/Annots")] = annots;
    }
    return annots;
}

void Sheets::finish() {
    if (sheet_.is_none()) return;
    py::object resources = pdf_name("DictionaryObject")();
    if (py::len(forms_) > 0) resources[name("/XObject")] = forms_;
    sheet_[name("/Resources")] = resources;
    if (!content_.empty()) sheet_[name("/Contents")] = add_object(writer_, compressed_stream(py::bytes(content_)));
    sheet_ = py::none();
    forms_ = py::none();
    content_.clear();
}

}  // namespace velkit::sheet_tile
