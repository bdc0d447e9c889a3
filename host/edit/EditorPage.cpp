#include "EditorPage.h"

#include <cstddef>

extern const unsigned char kPage_editor_html[], kPage_editor_css[], kPage_editor_js[];
extern const size_t kPage_editor_html_size, kPage_editor_css_size, kPage_editor_js_size;

namespace {

std::string Bytes(const unsigned char* bytes, size_t size) {
    return std::string(reinterpret_cast<const char*>(bytes), size);
}

// One answer, no further requests: the page works without any file beside it.
std::string Assemble() {
    std::string html = Bytes(kPage_editor_html, kPage_editor_html_size);
    const auto put = [&html](const std::string& mark, const std::string& text) {
        const size_t at = html.find(mark);
        if (at != std::string::npos) html.replace(at, mark.size(), text);
    };
    put("/*EDITOR-STYLE*/", Bytes(kPage_editor_css, kPage_editor_css_size));
    put("/*EDITOR-SCRIPT*/", Bytes(kPage_editor_js, kPage_editor_js_size));
    return html;
}

}  // namespace

const std::string& EditorPageHtml() {
    static const std::string page = Assemble();  // constant once made
    return page;
}
