#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "model/xfile/xfile.h"

// The token streams of the two encodings, as the object parser sees them.

enum class XTok : uint8_t {
  End,
  Word,       // a type or object name
  Values,     // numbers: a text word that starts like one, or a binary integer or float list
  String,
  OBrace,
  CBrace,
  Separator,  // ',' or ';'
  Guid,
  Template,
  Other,      // punctuation and keywords of template declarations
  Error,
};

struct XToken {
  XTok kind = XTok::End;
  std::string_view text;  // Word and String
  XGuid guid;
};

class XTokenSource {
 public:
  virtual ~XTokenSource() = default;
  // Structural tokens; an unread rest of a binary value list is dropped.
  virtual XToken Next() = 0;
  virtual XToken Peek() = 0;
  // Data values: separators before the value are skipped. False, with nothing but separators
  // consumed, when the next token is no value of that kind. Numbers convert between integer
  // and float where the file holds the other kind.
  virtual bool Int(uint32_t* out) = 0;
  virtual bool Float(float* out) = 0;
  virtual bool String(std::string* out) = 0;
  // What went wrong when Next or Peek gave Error.
  std::string error;
};

std::unique_ptr<XTokenSource> MakeTextTokens(std::string_view body);
std::unique_ptr<XTokenSource> MakeBinaryTokens(std::string_view body, uint32_t floatBits);

// Shared conversions: out-of-range and not-a-number values never reach undefined behaviour.
float XFloatFromDouble(double d);
uint32_t XIntFromDouble(double d);
