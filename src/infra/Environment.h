#pragma once

#include <string>

// The directory of the running program, ending in '/'. Empty until
// InitializeEnvironment has run; relative file names of the system
// ("log.txt", "cache.db", "cache.ini", ...) live there.
const std::string& ProgramDirectory();

// Fixes ProgramDirectory from /proc/self/exe and makes it the current
// directory. Calling it again recomputes the same values.
void InitializeEnvironment();

// As InitializeEnvironment, with the given directory standing in for the
// program's own (tests and the command-line front end's --dir). A missing
// trailing '/' is added.
void InitializeEnvironmentAt(const std::string& directory);

// Sets the current directory to ProgramDirectory again; a failure leaves it
// unchanged, as at start-up.
void EnterProgramDirectory();
