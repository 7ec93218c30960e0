#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Writes program images for tests, word by word in the image layout: header, integer, float
// and string literals, DATA types and values, three scope tables, code. Operand numbers are
// those of the compiler (19000 + k integer literal k, 37000 + k code position k, ...).
class ImageBuilder {
 public:
  // Literals: each returns the operand number of the new literal.
  int32_t Int(int32_t value);
  int32_t Float(float value);
  int32_t Text(const std::string& text);
  // DATA items: each returns the DATA position operand (25000 + index).
  int32_t DataInt(int32_t value);
  int32_t DataFloat(float value);
  int32_t DataText(const std::string& text);
  // Variables: each returns the operand number; owner = function number (0 = main program).
  int32_t IntVar(int32_t owner = 0);
  int32_t FloatVar(int32_t owner = 0);
  int32_t StringVar(int32_t owner = 0);

  // Code: raw words, or a command with its operands. Returns the code position of the first word.
  int32_t Emit(std::initializer_list<int32_t> words);
  // Operand number of the next code word to be emitted (37000 + position).
  int32_t Here() const { return 37000 + int32_t(code_.size()); }
  // Changes a code word already emitted (for forward jumps).
  void Patch(int32_t position, int32_t word) { code_[size_t(position)] = word; }

  // The finished image; a final zero code word is added unless noFinalZero.
  std::vector<uint8_t> Build(bool noFinalZero = false) const;
  bool WriteFile(const std::string& path, bool noFinalZero = false) const;

 private:
  std::vector<int32_t> ints_;
  std::vector<uint32_t> floats_;
  std::vector<std::string> texts_;
  std::string dataTypes_;
  std::vector<int32_t> dataWords_;     // for 'l' and 'f'
  std::vector<std::string> dataTexts_; // for 's'
  std::vector<int32_t> owners_[3];
  std::vector<int32_t> code_;
};

// Little-endian word access to built images (for damaging them in tests).
uint32_t ImageWord(const std::vector<uint8_t>& image, size_t index);
void SetImageWord(std::vector<uint8_t>& image, size_t index, uint32_t value);
