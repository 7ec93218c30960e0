#pragma once
#include <cstdint>

// One Huffman code table as code words and lengths, row-major by value; `size` is the
// number of values per row (0 for count1 tables), `linbits` the escape width of values 15.
struct MpegHuffmanSource {
  const uint16_t* codes;
  const uint8_t* lengths;
  int size;
  int linbits;
};

extern const MpegHuffmanSource kMpegBigValueTables[32];
extern const MpegHuffmanSource kMpegCount1Tables[2];
