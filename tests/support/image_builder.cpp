#include "tests/support/image_builder.h"

#include <cstdio>
#include <cstring>

int32_t ImageBuilder::Int(int32_t value) {
  ints_.push_back(value);
  return 19000 + int32_t(ints_.size()) - 1;
}

int32_t ImageBuilder::Float(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, 4);
  floats_.push_back(bits);
  return 21000 + int32_t(floats_.size()) - 1;
}

int32_t ImageBuilder::Text(const std::string& text) {
  texts_.push_back(text);
  return 23000 + int32_t(texts_.size()) - 1;
}

int32_t ImageBuilder::DataInt(int32_t value) {
  dataTypes_ += 'l';
  dataWords_.push_back(value);
  dataTexts_.emplace_back();
  return 25000 + int32_t(dataTypes_.size()) - 1;
}

int32_t ImageBuilder::DataFloat(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, 4);
  dataTypes_ += 'f';
  dataWords_.push_back(int32_t(bits));
  dataTexts_.emplace_back();
  return 25000 + int32_t(dataTypes_.size()) - 1;
}

int32_t ImageBuilder::DataText(const std::string& text) {
  dataTypes_ += 's';
  dataWords_.push_back(0);
  dataTexts_.push_back(text);
  return 25000 + int32_t(dataTypes_.size()) - 1;
}

int32_t ImageBuilder::IntVar(int32_t owner) {
  owners_[0].push_back(owner);
  return 13000 + int32_t(owners_[0].size()) - 1;
}

int32_t ImageBuilder::FloatVar(int32_t owner) {
  owners_[1].push_back(owner);
  return 15000 + int32_t(owners_[1].size()) - 1;
}

int32_t ImageBuilder::StringVar(int32_t owner) {
  owners_[2].push_back(owner);
  return 17000 + int32_t(owners_[2].size()) - 1;
}

int32_t ImageBuilder::Emit(std::initializer_list<int32_t> words) {
  int32_t at = int32_t(code_.size());
  code_.insert(code_.end(), words.begin(), words.end());
  return at;
}

std::vector<uint8_t> ImageBuilder::Build(bool noFinalZero) const {
  std::vector<uint32_t> header(1024, 0), data;
  for (int32_t v : ints_) data.push_back(uint32_t(v));
  for (uint32_t v : floats_) data.push_back(v);
  const size_t textStart = 1024 + data.size();
  std::string textBytes;
  for (const std::string& t : texts_) textBytes += t + '\0';
  size_t textWords = textBytes.size() / 4 + 1;
  textBytes.resize(textWords * 4, '\0');
  for (size_t i = 0; i < textWords; ++i) {
    uint32_t w;
    std::memcpy(&w, textBytes.data() + 4 * i, 4);
    data.push_back(w);
  }
  const size_t typeStart = 1024 + data.size();
  std::string types = dataTypes_;
  types.resize((dataTypes_.size() / 4 + 1) * 4, '\0');
  for (size_t i = 0; i < types.size() / 4; ++i) {
    uint32_t w;
    std::memcpy(&w, types.data() + 4 * i, 4);
    data.push_back(w);
  }
  for (size_t k = 0; k < dataTypes_.size(); ++k) {
    if (dataTypes_[k] != 's') {
      data.push_back(uint32_t(dataWords_[k]));
      continue;
    }
    std::string t = dataTexts_[k];
    size_t words = (t.size() + 1) / 4 + 1;
    t.resize(words * 4, '\0');
    for (size_t i = 0; i < words; ++i) {
      uint32_t w;
      std::memcpy(&w, t.data() + 4 * i, 4);
      data.push_back(w);
    }
  }
  for (const auto& table : owners_) {
    data.push_back(uint32_t(table.size()));
    for (int32_t o : table) data.push_back(uint32_t(int32_t(int16_t(o))));
  }
  header[0] = 1;
  header[1] = 1024;
  header[2] = uint32_t(1024 + ints_.size());
  header[3] = uint32_t(textStart);
  header[4] = uint32_t(texts_.size());
  header[5] = uint32_t(typeStart);
  header[6] = uint32_t(dataTypes_.size());
  header[7] = uint32_t(1024 + data.size());
  header[8] = uint32_t(owners_[0].size());
  header[9] = uint32_t(owners_[1].size());
  header[10] = uint32_t(owners_[2].size());
  header[11] = uint32_t(3 + owners_[0].size() + owners_[1].size() + owners_[2].size());
  std::vector<uint32_t> all = header;
  all.insert(all.end(), data.begin(), data.end());
  for (int32_t w : code_) all.push_back(uint32_t(w));
  if (!noFinalZero) all.push_back(0);
  std::vector<uint8_t> bytes;
  for (uint32_t w : all)
    for (int i = 0; i < 4; ++i) bytes.push_back(uint8_t(w >> (8 * i)));
  return bytes;
}

bool ImageBuilder::WriteFile(const std::string& path, bool noFinalZero) const {
  std::vector<uint8_t> bytes = Build(noFinalZero);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

uint32_t ImageWord(const std::vector<uint8_t>& image, size_t index) {
  uint32_t w = 0;
  for (int i = 0; i < 4; ++i) w |= uint32_t(image[index * 4 + size_t(i)]) << (8 * i);
  return w;
}

void SetImageWord(std::vector<uint8_t>& image, size_t index, uint32_t value) {
  for (int i = 0; i < 4; ++i) image[index * 4 + size_t(i)] = uint8_t(value >> (8 * i));
}
