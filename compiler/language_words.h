#pragma once
// The words of the language that the compiler reads itself rather than from the keyword list:
// the user-function header, the comment word, the words inside a one-line IF and a FOR, and the
// SELECT block (statements.cpp, rewrites.cpp, symbols.cpp). Every other word of the language
// is a name of the keyword list. A word added to the compiler's own reading belongs here, so
// that the help pages give it a page.
#include <string_view>

inline constexpr std::string_view kLanguageWords[] = {
    "function", "rem", "then", "to", "step", "select", "case", "default", "endcase", "endselect",
};
