// Windows' UTF-16 text, the command line included, as the UTF-8 the rest
// of Pelmode reads.
#pragma once

#include <string>
#include <vector>

namespace pelmode {

// Empty when TEXT is empty or cannot be converted.
std::string Utf8Of(const wchar_t* text);

// The arguments as Windows gives them, the program's name first. The ANSI
// forms would turn a full-width digit into an ASCII one, so that `６４０`
// passed as 640. Empty, with PROBLEM set, when they cannot be read.
std::vector<std::string> Utf8Arguments(std::string* problem);

}  // namespace pelmode
