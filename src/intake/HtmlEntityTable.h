#pragma once

#include <string_view>

namespace vesk {

// One named character reference of HTML ("copy" for "&copy;"): one or two code points.
struct HtmlNamedEntity {
    const char* name;
    char32_t first;
    char32_t second; // 0 when the name stands for one character
};

// The entity of that name (without "&" and ";"), or null when HTML defines none. Names are
// case-sensitive ("&Aacute;" and "&aacute;" differ).
const HtmlNamedEntity* findHtmlNamedEntity(std::string_view name);

} // namespace vesk
