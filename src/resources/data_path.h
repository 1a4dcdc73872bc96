// Where the demo's data files are read from, and how a file that cannot be
// used is named.
#pragma once

#include <cstdio>
#include <string>

// The folder the data files are read from: "data" in the working directory
// unless the shell chose another at start-up. Lives for the whole run.
extern std::string DataDirectory;

// The path of data file `name` ("font.jpg") in DataDirectory.
std::string DataPath(const char* name);

// fopen; a file that cannot be opened is named on stderr with the reason.
FILE* OpenDataFile(const char* path, const char* mode);

// Names `path` on stderr with what is wrong with it, once a run for each
// path (the height map is read three times): the demo goes on without it.
void ReportUnusableFile(const char* path, const char* problem);
