#pragma once

#include <string>
#include <vector>

// The command line of a launch: the program in double quotes (unless it already begins with
// one), then, when there is an argument, one space and the argument as it stands.
std::string launchCommandLine(const std::string& program, const std::string& argument);

// Splits a command line into arguments as a POSIX shell does, without expansions: blanks
// separate; single quotes keep everything up to the next one; double quotes keep everything,
// a backslash escaping only \ " $ and `; outside quotes a backslash keeps the next character.
// An unclosed quote runs to the end of the line.
std::vector<std::string> splitCommandLine(const std::string& line);

// The folder the desktop's opener starts in when the program itself cannot be started: the
// given one, or the program path up to and including its last "/" (none when the path has no
// "/" after its first character).
std::string openerWorkingFolder(const std::string& programPath, const std::string& workingFolder);

// Starts the program with the argument, without waiting for it and without leaving a zombie;
// in `workingFolder` when it is not empty. When the program cannot be started (a document, a
// folder, nothing runnable), the desktop's opener (xdg-open) opens the program path instead,
// when it exists. True when either started.
bool launchProgram(const std::string& program, const std::string& argument,
                   const std::string& workingFolder);
