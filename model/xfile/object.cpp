#include <cstring>

#include "model/xfile/xfile.h"

bool XGuid::IsZero() const {
  for (uint8_t b : bytes)
    if (b) return false;
  return true;
}

bool XGuid::operator==(const XGuid& other) const { return std::memcmp(bytes, other.bytes, 16) == 0; }

bool XObject::Is(const char* templateName) const {
  return !isReference && tmpl && std::strcmp(tmpl->name, templateName) == 0;
}

void XObject::PushFloat(float v) {
  uint32_t bits;
  std::memcpy(&bits, &v, 4);
  data.push_back(bits);
}

void XObject::PushString(std::string s) {
  data.push_back(uint32_t(strings.size()));
  strings.push_back(std::move(s));
}

XObject& XObject::AddChild(std::string childType, std::string childName) {
  auto o = std::make_unique<XObject>();
  o->tmpl = FindStandardTemplate(childType);
  o->type = std::move(childType);
  o->name = std::move(childName);
  children.push_back(std::move(o));
  return *children.back();
}

XObject& XObject::AddReference(std::string targetName) {
  auto o = std::make_unique<XObject>();
  o->isReference = true;
  o->name = std::move(targetName);
  children.push_back(std::move(o));
  return *children.back();
}

XObject& XFile::Add(std::string type, std::string name) {
  auto o = std::make_unique<XObject>();
  o->tmpl = FindStandardTemplate(type);
  o->type = std::move(type);
  o->name = std::move(name);
  objects.push_back(std::move(o));
  return *objects.back();
}

bool XDataCursor::Int(uint32_t* out) {
  if (pos_ >= object_.data.size()) return false;
  *out = object_.data[pos_++];
  return true;
}

bool XDataCursor::Float(float* out) {
  if (pos_ >= object_.data.size()) return false;
  std::memcpy(out, &object_.data[pos_++], 4);
  return true;
}

bool XDataCursor::Floats(float* out, size_t n) {
  if (n > Remaining()) return false;
  if (n == 0) return true;
  std::memcpy(out, object_.data.data() + pos_, n * 4);
  pos_ += n;
  return true;
}

bool XDataCursor::String(std::string* out) {
  if (pos_ >= object_.data.size() || object_.data[pos_] >= object_.strings.size()) return false;
  *out = object_.strings[object_.data[pos_++]];
  return true;
}
