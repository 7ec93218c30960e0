#include "core/language.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace {

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

int32_t TextToInt(const char* text) {
  const char* p = text;
  while (IsBlank(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  int64_t v = 0;
  for (; IsDigit(*p); ++p) {
    v = v * 10 + (*p - '0');
    if (v > int64_t(1) << 40) v = int64_t(1) << 40;  // saturate long before int64 overflows
  }
  if (negative) v = -v;
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return int32_t(v);
}

double TextToDouble(const char* text) {
  const char* p = text;
  while (IsBlank(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  const char* number = p;
  bool digits = false;
  while (IsDigit(*p)) ++p, digits = true;
  if (*p == '.') {
    ++p;
    while (IsDigit(*p)) ++p, digits = true;
  }
  if (!digits) return 0.0;
  if (*p == 'e' || *p == 'E') {
    const char* e = p + 1;
    if (*e == '+' || *e == '-') ++e;
    if (IsDigit(*e)) {
      while (IsDigit(*e)) ++e;
      p = e;
    }
  }
  double v = 0.0;
  std::from_chars_result r = std::from_chars(number, p, v, std::chars_format::general);
  if (r.ec == std::errc::result_out_of_range) {
    // Too large or too small for a double: the C library gives infinity or zero.
    bool tiny = false;
    for (const char* q = number; q < p; ++q)
      if (*q == 'e' || *q == 'E') tiny = q[1] == '-';
    v = tiny ? 0.0 : HUGE_VAL;
  }
  return negative ? -v : v;
}

size_t FormatG(double value, char* out) {
  std::to_chars_result r = std::to_chars(out, out + 31, value, std::chars_format::general, 6);
  *r.ptr = 0;
  return size_t(r.ptr - out);
}
