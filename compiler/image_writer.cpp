// Resolution of jump-target names, the array-use check, the image writer and the code dump.
#include <cstdio>
#include <cstring>
#include <unordered_map>

#include "compiler/compiler.h"
#include "platform/fs.h"
#include "platform/host_files.h"

namespace {

void PutWord(std::vector<uint8_t>& out, uint32_t w) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(w >> (8 * i)));
}

// Appends a text with its zero byte and pads with zeros to a whole number of words.
void PutText(std::vector<uint8_t>& out, const std::string& text, size_t words) {
  size_t start = out.size();
  out.insert(out.end(), text.begin(), text.end());
  out.resize(start + words * 4, 0);
}

}  // namespace

bool Compiler::ResolveFunctionCalls() {
  std::unordered_multimap<std::string, size_t> byName;
  for (size_t i = 0; i < declared_.size(); ++i) byName.emplace(declared_[i].name, i);
  for (const JumpTarget& t : targets_) {
    const DeclaredName* found = nullptr;
    auto range = byName.equal_range(t.name);
    for (auto it = range.first; it != range.second; ++it) {
      const DeclaredName& d = declared_[it->second];
      if (d.owner == t.owner && (!found || it->second < size_t(found - declared_.data()))) found = &d;
    }
    if (!found) {
      errorLine_ = t.line;
      targetName_ = t.name;
      return true;
    }
    // Each reference is patched by its own kind: a code position or a DATA position.
    for (const JumpRef& r : t.refs) {
      if (size_t(r.position) >= code_.size()) continue;
      code_[size_t(r.position)] = r.kind == 1 ? 37000 + found->position : 25000 + (t.dataSlot < 0 ? 0 : t.dataSlot);
    }
  }
  return false;
}

int Compiler::CheckArrayUse() {
  for (int type = 0; type < 3; ++type) {
    for (const VariableRow& v : vars_[type]) {
      if (!v.array) continue;
      bool dimensioned = false;
      for (const DimRow& d : dims_)
        if (d.owner == v.owner && d.name == v.name) dimensioned = true;
      if (!dimensioned) {
        errorLine_ = v.line;
        arrayName_ = v.name;
        return v.fetched && !v.named ? 48 : 49;
      }
    }
  }
  return 0;
}

std::vector<uint8_t> Compiler::BuildImage() const {
  const uint32_t a = uint32_t(intLiterals_.size()), b = uint32_t(floatLiterals_.size());
  const uint32_t c = uint32_t(stringLiterals_.size()), n = uint32_t(dataTypes_.size());
  uint32_t T = 0;
  for (const std::string& s : stringLiterals_) T += uint32_t(s.size()) + 1;
  const uint32_t stringWords = T / 4 + 1, typeWords = n / 4 + 1;
  uint32_t valueWords = 0;
  for (size_t k = 0; k < n; ++k)
    valueWords += dataTypes_[k] == 's' ? uint32_t((dataTexts_[k].size() + 1) / 4 + 1) : 1;
  const uint32_t counts[3] = {uint32_t(vars_[0].size()), uint32_t(vars_[1].size()), uint32_t(vars_[2].size())};
  const uint32_t scopeWords = 3 + counts[0] + counts[1] + counts[2];
  const uint32_t D = a + b + stringWords + typeWords + valueWords + scopeWords;

  std::vector<uint8_t> out;
  out.reserve(4 * (1024 + D + code_.size()));
  const uint32_t header[12] = {1,
                               1024,
                               1024 + a,
                               1024 + a + b,
                               c,
                               1024 + a + b + stringWords,
                               n,
                               1024 + D,
                               counts[0],
                               counts[1],
                               counts[2],
                               scopeWords};
  for (uint32_t w : header) PutWord(out, w);
  // Word 12, free before, holds the code page of the texts; loaders that came before it leave
  // it unread.
  PutWord(out, uint32_t(codePage_));
  out.resize(4 * 1024, 0);
  for (int32_t v : intLiterals_) PutWord(out, uint32_t(v));
  for (uint32_t v : floatLiterals_) PutWord(out, v);
  {
    std::string texts;
    for (const std::string& s : stringLiterals_) {
      texts += s;
      texts += '\0';
    }
    PutText(out, texts, stringWords);
  }
  PutText(out, dataTypes_, typeWords);
  for (size_t k = 0; k < n; ++k) {
    if (dataTypes_[k] == 's') PutText(out, dataTexts_[k], (dataTexts_[k].size() + 1) / 4 + 1);
    else PutWord(out, uint32_t(dataValues_[k]));
  }
  for (int t = 0; t < 3; ++t) {
    PutWord(out, counts[t]);
    for (const VariableRow& v : vars_[t]) PutWord(out, uint32_t(int32_t(v.owner)));
  }
  for (int32_t w : code_) PutWord(out, uint32_t(w));
  return out;
}

bool Compiler::WriteProgramImage() {
  if (outputName_.empty()) return true;
  std::vector<uint8_t> image = BuildImage();
  return FsWriteHostFileAtomic(outputName_, std::string(image.begin(), image.end()));
}

bool Compiler::DumpCode(const std::string& file) const {
  std::string text;
  if (!FsReadFile(file, text)) return false;
  for (size_t i = 0; i < code_.size(); ++i) text += std::to_string(i) + ": " + std::to_string(code_[i]) + "\r\n";
  text += std::to_string(code_.size()) + ": ";
  return FsWriteFileAtomic(file, text);
}
