// Where the shell's own files (the dialog template, the icon) and the demo's
// data folder are found.
#pragma once

#include <string>

// The path of shell file `name` ("settings.ui", "norvale.bmp"), from the
// first place that has it: the source tree's res/ when the program runs from
// its build folder, the installed <prefix>/share/norvale beside the
// executable, res/ in the working directory; "" when none has it.
std::string FindShellFile(const char* name);

// The data folder to read: data/ in the working directory; else the source
// tree's data/ when the program runs from its build folder; else the
// installed <prefix>/share/norvale/data beside the executable (resolved to a
// plain path). "" when none is a folder; *looked then names every place tried.
std::string FindDataFolder(std::string* looked);
