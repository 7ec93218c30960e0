#pragma once
#include <string>
#include <string_view>

// The file image of a compressed .x file ("tzip" or "bzip" in its header): its blocks
// inflated behind the header of the plain form ("txt " or "bin "). False, with the cause in
// why, when a size or a block does not agree with the data present.
bool InflateXFile(std::string_view bytes, std::string* out, std::string* why);
