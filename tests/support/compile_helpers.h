#pragma once
#include <string>
#include <vector>

#include "compiler/compiler.h"

// A compiler with the built-in keyword list and the English messages.
Compiler& TestCompiler();
// Compiles a source text; the code words without the final zero word, as "w w w ...".
std::string Listing(const std::string& source);
// Code words of the statements after the first n words of the program (for statements
// that need a preamble).
std::string ListingAfter(const std::string& preamble, const std::string& statements);
// Compiles a source text that must fail: "LINE: message".
std::string Failure(const std::string& source);
// Writes a file below the test's temporary folder and returns its path.
std::string WriteTempFile(const std::string& name, const std::string& text);
std::string TempFolder();
