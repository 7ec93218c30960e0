#pragma once
#include <string>
#include <vector>

#include "core/run_state.h"

// A file named on the command line as the host path to open: made absolute against the
// caller's folder (the run may change into another), and for an input found as
// FsFindHostFile finds it. False, and why, when it is relative and there is no current folder.
bool CommandLinePath(const std::string& given, bool input, std::string* path, std::string* error);
// The options of run and exec, from args[from] on ("--" ends them: the rest is the program's
// command line). Files are taken as CommandLinePath takes them. On a usage error: false, and
// what was wrong in error.
bool ParseRunOptions(const std::vector<std::string>& args, size_t from, RunOptions& o, std::string* error);
// Whether the option takes the next argument as its value (--frames N, --grab FILE, ...).
bool RunOptionTakesValue(const std::string& option);
// Checks the files the options name before anything runs: the --grab and --transcript files
// can be written, and the --input file reads as an input file. An --input pipe or device is
// read here and the options name a copy of it in the temporary folder instead. False, and why,
// when not.
bool CheckOptionFiles(RunOptions& o, std::string* error);
// What each option of run and exec does, for --help.
extern const char kRunOptionsHelp[];
