#pragma once

#include <string>
#include <vector>

// The folder the desktop's opener starts in when the program itself cannot be started: the
// given one, or the program path up to and including its last "/" (none when the path has no
// "/" after its first character).
std::string openerWorkingFolder(const std::string& programPath, const std::string& workingFolder);

// The words of a tool's command as the user wrote it: the whole text is the program, unless it
// begins with a double quote; then the program is what the quotes enclose, and what follows
// the closing quote are words of their own, separated by blanks ("..." keeps blanks in one).
std::vector<std::string> programWords(const std::string& program);

// Starts the program (see programWords) with `argument` as its one argument, exactly as it
// is (no argument when it is empty), in `workingFolder` when that is not empty, without
// waiting for it and without leaving a zombie. The program gets standard input, output and
// error, none of this program's other descriptors. A desktop launcher (".desktop") starts
// through GIO with the argument as its file. What is no program (a document, a folder, a
// script without interpreter) is opened by the desktop's opener instead, when it exists. True
// when anything started.
bool launchProgram(const std::string& program, const std::string& argument,
                   const std::string& workingFolder);

// Opens a file or folder in the desktop's program for it (xdg-open); never runs it, even when
// it is executable. True when the opener started.
bool openWithDesktop(const std::string& path, const std::string& workingFolder = {});
