// The editor's one page: page/editor.html with its style and script put in
// place, as built into the program.
#pragma once

#include <string>

const std::string& EditorPageHtml();
