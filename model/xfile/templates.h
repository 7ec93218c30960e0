#pragma once
#include <cstdint>
#include <string_view>

// The standard .x templates, built in: the reader lays out the data of every object whose type
// is one of them, and skips objects of any other type.

enum class XMemberKind : uint8_t { Int, Float, String, Struct };

struct XTemplate;

// One member: a value, a structure, or an array of either whose length is fixed or given by
// an earlier member of the same template (countFrom).
struct XMember {
  XMemberKind kind;
  const XTemplate* sub = nullptr;  // for Struct
  int8_t countFrom = -1;           // index of the member that holds the length
  uint8_t fixed = 0;               // fixed array length; 0 with countFrom -1 = a single value
  bool IsArray() const { return countFrom >= 0 || fixed > 0; }
};

struct XTemplate {
  const char* name;
  uint8_t count;  // members used
  XMember members[6];
};

// Case-insensitive lookup; nullptr for a type that is not a standard template.
const XTemplate* FindStandardTemplate(std::string_view name);
