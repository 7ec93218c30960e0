#pragma once
#include <cstddef>

// A data file compiled into the executable (see tools/embed_data.cmake).
struct EmbeddedFile {
  const char* name;
  const unsigned char* data;  // followed by one zero byte
  size_t size;
};

// Looks up a file of data/ by its plain name ("keywords.txt"); nullptr when absent.
const EmbeddedFile* FindEmbeddedFile(const char* name);
