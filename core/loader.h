#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "core/interp.h"

// What the loader keeps of the program image besides the cells and the code.
struct LoadedProgram {
  std::string dataTypes;                 // one letter 'l', 'f' or 's' per DATA item
  std::vector<int32_t> scopeTables[3];   // owner function of each integer, float, string variable
  int32_t stringVariableCount = 0;
  int32_t stringLiteralCount = 0;
  bool checkedWholeCode = false;         // every instruction's operands were checked by kind
  // Per type: how many integer, float and string temporaries the main program's statements
  // use (the highest one plus 1). Those past the first 50 share cells with the temporaries of
  // user functions, so a call made from the main program keeps them.
  int32_t mainTemporaries[3] = {};
  // The code page of the program's texts (header word 12); 0 in an image that carries none.
  int32_t codePage = 0;
};
extern LoadedProgram g_program;
// The code as the loader made it, and a number that changes whenever code is loaded or freed
// (0 before the first load): what is derived from the code is keyed on it.
extern const CodeWord* g_loadedCode;
extern uint64_t g_codeGeneration;

// Loads a program image file (a host path, read as it is); on failure nothing stays loaded and
// the reason is in error.
bool LoadProgram(const std::string& file, std::string* error = nullptr);
bool LoadProgramFromBytes(const uint8_t* bytes, size_t size, std::string* error = nullptr);
// Frees everything the loaded program and its arrays hold.
void FreeProgramStrings();
