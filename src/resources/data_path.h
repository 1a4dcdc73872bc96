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

// fopen for reading; a path that cannot be opened, is not a regular file
// (a folder, a pipe) or is empty is named on stderr with the reason, and
// gives null.
FILE* OpenDataFile(const char* path, const char* mode);

// Names `path` on stderr with what is wrong with it, once a run for each
// path (the height map is read three times): the demo goes on without it.
void ReportUnusableFile(const char* path, const char* problem);
// The same for a file the demo still uses in part; `problem` says how.
void ReportDamagedFile(const char* path, const char* problem);

// Sets DataDirectory for both programs: `requested` (--data) when given,
// else data/ here, else the folder beside the program, said on stderr when
// it is not data/ here. False after a line on stderr when `requested` is not
// a folder, or when there is none (the line then ends with `whenNone`).
bool ChooseDataFolder(const std::string& requested, const char* whenNone);
