// Block keywords: the nesting records of IF, DO, FOR, WHILE and REPEAT blocks and the
// patching of their jump operands.
#include "compiler/compiler.h"

namespace {

// Block keyword table: 0 if, 1 else, 2 endif, 3 do, 4 exit, 5 loop, 6 for, 7 next, 8 while,
// 9 endwhile, 10 repeat, 11 until.
constexpr int kOpenerOf[12] = {-1, -1, 0, -1, -1, 3, -1, 6, -1, 8, -1, 10};
constexpr bool kOpens[12] = {true, false, false, true, false, false, true, false, true, false, true, false};
constexpr bool kNoInstruction[12] = {false, false, true, true, false, false, false, false, false, false, true, false};
constexpr int kAfter[12] = {3, 2, 0, 0, 2, 2, 0, 3, 0, 2, 0, 3};
constexpr const char* kOpenerWord[12] = {"IF", "", "", "DO", "", "", "FOR", "", "WHILE", "", "REPEAT", ""};

}  // namespace

bool Compiler::HandleBlock(int b, int32_t jumpPosition, bool* addJump, int32_t* jumpValue, int32_t statementStart,
                           bool* emit) {
  const int32_t after = int32_t(code_.size()) + kAfter[b];
  *addJump = b != 2;
  *emit = !kNoInstruction[b];
  *jumpValue = 0;
  if (kOpens[b]) {
    if (blocks_.size() >= 1023) return false;
    BlockRecord r;
    r.kind = b;
    r.jump = kNoInstruction[b] ? -1 : jumpPosition;
    r.start = (b == 6 || b == 8) ? statementStart : after;
    r.line = currentLine_;
    r.word = kOpenerWord[b];
    blocks_.push_back(std::move(r));
    return true;
  }
  if (b == 1) {
    if (blocks_.empty() || blocks_.back().kind != 0 || blocks_.back().elseJump >= 0) return false;
    blocks_.back().elseJump = jumpPosition;
    blocks_.back().afterElse = after;
    return true;
  }
  if (b == 4) {
    for (auto it = blocks_.rbegin(); it != blocks_.rend(); ++it) {
      if (it->kind == 0) continue;
      if (it->exits.size() >= 32) {
        Fail(54);
        return false;
      }
      it->exits.push_back(jumpPosition);
      return true;
    }
    return false;
  }
  if (blocks_.empty() || blocks_.back().kind != kOpenerOf[b]) return false;
  BlockRecord r = std::move(blocks_.back());
  blocks_.pop_back();
  if (prePass_) return true;
  if (r.kind == 0) {
    if (r.elseJump >= 0) {
      code_[size_t(r.jump)] = 37000 + r.afterElse;
      code_[size_t(r.elseJump)] = 37000 + after;
    } else {
      code_[size_t(r.jump)] = 37000 + after;
    }
    return true;
  }
  if (r.jump >= 0) code_[size_t(r.jump)] = 37000 + after;
  for (int32_t e : r.exits) code_[size_t(e)] = 37000 + after;
  *jumpValue = 37000 + r.start;
  return true;
}
