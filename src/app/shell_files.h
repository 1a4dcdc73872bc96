// Where the shell's own files (the dialog template, the icon) are found.
#pragma once

#include <string>

// The path of shell file `name` ("settings.ui", "norvale.bmp"): beside an
// installed program in <prefix>/share/norvale, else in the source tree when
// the program runs from its build folder; "" when neither has it.
std::string FindShellFile(const char* name);
