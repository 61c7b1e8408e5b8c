#ifndef FIND_PROGRAM_H
#define FIND_PROGRAM_H

#include <string>

// Where the shell would find a program run by name: the first directory of
// $PATH (the system's default path when PATH is unset) that holds an
// executable file of that name. Empty when there is none.
std::string FindProgram(const char* name);

#endif
