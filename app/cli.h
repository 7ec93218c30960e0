#pragma once
#include <string>
#include <vector>

// The tool's command line: run, compile, check, exec, build, edit.
int ToolMain(const std::vector<std::string>& args);
// True when the arguments start with one of the tool's commands.
bool IsToolCommand(const std::vector<std::string>& args);
