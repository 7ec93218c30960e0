// .x files are outside data: any bytes must parse (or fail) without reading out of bounds,
// and whatever parsed must write and read back in every encoding. Input that does not start
// with an "xof " header gets one chosen by its first byte, so the body is fuzzed in all four
// encodings.
#include <cstdint>
#include <string>

#include "model/xfile/xfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  if (bytes.compare(0, 4, "xof ") != 0 && size > 0) {
    static const char* const kHeads[] = {"xof 0302txt 0032", "xof 0303txt 0064", "xof 0302bin 0032",
                                         "xof 0303bin 0064"};
    bytes = kHeads[data[0] % 4] + bytes.substr(1);
  }
  XFile f;
  ParseXFile(bytes, f);
  for (XEncoding e : {XEncoding::Text, XEncoding::Binary}) {
    XFile g;
    ParseXFile(WriteXFile(f, e, e == XEncoding::Text ? 32 : 64), g);
  }
  return 0;
}
