#pragma once
// Writing the generated help pages: one page per keyword, one list per family and the index.
#include <map>
#include <string>

#include "keyword_help.h"

// Text for a page: '&', '<', '>' and '"' and the bytes 191-255 as the viewer's entity names.
std::string HtmlEscape(const std::string& text);
// The name as a user types it: capitals, without the function's "[" (operators by their sign).
std::string UserName(const std::string& name);
// The page of a name under "commands/": lower case, blanks as '_', "$" as "_s"; a command and
// its same-named function share it.
std::string PageFileName(const std::string& name);
// Writes every generated page into folder (which exists). False with a message on failure.
bool WriteHelpPages(const std::vector<Family>& families, const std::map<std::string, HelpLine>& help,
                    const std::string& folder, std::string* error);
