#pragma once
#include <string>

// The name the process's messages on stderr begin with ("NAME: ..."): "vellumark" for the tool,
// a built game's own name (its executable's base name) once the game starts.
const char* MessageName();
void SetMessageName(const std::string& name);
