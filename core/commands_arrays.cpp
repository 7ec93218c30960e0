// Arrays: create, release, store and fetch elements, and array files. Element types by the
// array variable: 0 integer, 1 float, 2 string. Sizes and flat indices are computed in 64 bits.
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "core/command_numbers.h"
#include "core/commands.h"
#include "core/errors.h"
#include "core/handler.h"
#include "core/language.h"
#include "core/operator_bits.h"
#include "core/pack.h"
#include "core/threaded_code.h"
#include "platform/fs.h"

namespace {

// The block of an array is at most 2^31 - 1 bytes of 4-byte elements, as the language had it.
constexpr int64_t kMaxElements = 0x7fffffff / 4;

size_t ElementSize(int type) { return type == 2 ? sizeof(char*) : 4; }

// The entry of operand k when it is an array variable of the type; otherwise system error
// 10010 (a damaged program) and nullptr.
inline ArrayEntry* EntryOf(const CodeWord* pc, int k, int type) {
  const uintptr_t i = (uintptr_t(pc[k]) - reinterpret_cast<uintptr_t>(g_cells + kCellIntVar)) / sizeof(VarCell);
  if (i - uintptr_t(type) * 2000 >= 2000 ||
      uintptr_t(pc[k]) != reinterpret_cast<uintptr_t>(g_cells + kCellIntVar + i)) {
    RunError(kErrExceptionInCommand);
    return nullptr;
  }
  return &g_arrays[i];
}

template <int Type, int Dims>
void CmdDimArray() {
  ArrayEntry* e = EntryOf(ProgramCounter, 0, Type);
  if (e) {
    VarCell* cell = OpCell(0);
    ReleaseArrayBlock(*e);
    if (Type == 2) SetCellString(cell, "", 0);
    int64_t total = 1;
    bool negative = false, empty = false;
    for (int i = 0; i < Dims; ++i) {
      const int64_t size = int64_t(OpInt(1 + i)) + 1;
      if (Dims > 1) e->size[i] = int32_t(size);
      negative |= size < 0;
      empty |= size == 0;
      if (size > 0 && total <= kMaxElements) total *= size;  // stops growing once too large
    }
    if (empty) total = 0;
    e->total = negative ? -1 : total;
    void* block = nullptr;
    if (!negative && total <= kMaxElements) block = std::calloc(size_t(total ? total : 1), ElementSize(Type));
    // A numeric array variable's cell holds the block's address; a string array variable's
    // cell keeps its (empty) text, so that it can never be released as one.
    if (block) {
      e->data = block;
      ++e->generation;
      g_arraysUsed = true;
      if (Type != 2) cell->p = block;
    } else {
      if (Type != 2) cell->p = nullptr;
      RunError(kErrOutOfMemory);
    }
  }
  ProgramCounter += 1 + Dims;
}

template <int Type>
void CmdUndimArray() {
  if (ArrayEntry* e = EntryOf(ProgramCounter, 0, Type)) {
    VarCell* cell = OpCell(0);
    ReleaseArrayBlock(*e);
    if (Type == 2) SetCellString(cell, "", 0);
    else cell->p = nullptr;
  }
  ProgramCounter += 1;
}

// Flat index of the Dims indices from operand k, first index fastest; -1 when outside the
// array (only the flat index is tested, as the language defines).
template <int Dims>
int64_t FlatIndex(const ArrayEntry& e, const CodeWord* pc, int k) {
  if constexpr (Dims == 1) {
    const int64_t flat = Cell(pc, k)->i;
    return flat >= 0 && flat < e.total ? flat : -1;
  } else {
    // The sizes may be left over from another creation of the variable (the one-index
    // forms write none): a stride beyond any block makes every other index but 0 outside.
    constexpr __int128 kHuge = __int128(1) << 62;
    __int128 flat = Cell(pc, k)->i, stride = 1;
    for (int i = 1; i < Dims; ++i) {
      const int32_t index = Cell(pc, k + i)->i;
      if (stride > -kHuge && stride < kHuge) stride *= e.size[i - 1];
      if (index == 0) continue;
      if (stride <= -kHuge || stride >= kHuge) return -1;
      flat += stride * index;
    }
    return flat >= 0 && flat < e.total ? int64_t(flat) : -1;
  }
}

// Store: a, i1 ... ik, value. Type 3 stores an integer value into a float array.
template <int Type, int Dims>
[[gnu::noinline]] CodeWord* StoreElementInGeneral(CodeWord* pc) {
  constexpr int kArrayType = Type == 3 ? 1 : Type;
  ArrayEntry* e = EntryOf(pc, 0, kArrayType);
  if (e && e->data) {
    const int64_t flat = FlatIndex<Dims>(*e, pc, 1);
    const VarCell* value = Cell(pc, 1 + Dims);
    if (flat < 0) RunError(kErrArrayIndexOutOfRange);
    else if constexpr (Type == 0) static_cast<int32_t*>(e->data)[flat] = value->i;
    else if constexpr (Type == 1) static_cast<float*>(e->data)[flat] = value->f;
    else if constexpr (Type == 3) static_cast<float*>(e->data)[flat] = float(value->i);
    else StoreElementText(&static_cast<char**>(e->data)[flat], CellText(value));
  }
  return pc + 2 + Dims;
}

template <int Type, int Dims>
CodeWord* StoreElement(CodeWord* pc) {
  if constexpr ((Type == 0 || Type == 1) && Dims == 1) {  // the common case at once, as FetchElement
    const uintptr_t i = (uintptr_t(pc[0]) - reinterpret_cast<uintptr_t>(g_cells + kCellIntVar)) / sizeof(VarCell);
    if (i - uintptr_t(Type) * 2000 < 2000 && uintptr_t(pc[0]) == reinterpret_cast<uintptr_t>(g_cells + kCellIntVar + i)) {
      const ArrayEntry& e = g_arrays[i];
      const int64_t flat = Cell(pc, 1)->i;
      if (e.data && flat >= 0 && flat < e.total) {
        static_cast<int32_t*>(e.data)[flat] = Cell(pc, 2)->i;
        return pc + 3;
      }
    }
  }
  return StoreElementInGeneral<Type, Dims>(pc);
}

// Fetch: destination, a, i1 ... ik. A string element without a text reads as the empty
// text through the one-index form and as one blank through the others.
template <int Type, int Dims>
[[gnu::noinline]] CodeWord* FetchElementInGeneral(CodeWord* pc) {
  VarCell* dest = Cell(pc, 0);
  const ptrdiff_t destIndex = dest - g_cells;
  const bool temporary = destIndex >= 0 && destIndex < kElementRefCount;
  ArrayEntry* e = EntryOf(pc, 1, Type);
  if (temporary) g_elementRefs[destIndex].entry = -1;
  if (e) {
    const char* missing = Dims == 1 ? "" : " ";
    if (!e->data) {
      if constexpr (Type == 2) StoreText(dest, missing);
      else dest->i = 0;
    } else if (const int64_t flat = FlatIndex<Dims>(*e, pc, 2); flat < 0) {
      RunError(kErrArrayIndexOutOfRange);
    } else {
      if constexpr (Type == 0) dest->i = static_cast<int32_t*>(e->data)[flat];
      else if constexpr (Type == 1) dest->f = static_cast<float*>(e->data)[flat];
      else {
        const char* text = static_cast<char**>(e->data)[flat];
        StoreText(dest, text ? text : missing);
      }
      if (temporary) g_elementRefs[destIndex] = ElementRef{int32_t(e - g_arrays), e->generation, flat};
    }
  }
  return pc + 2 + Dims;
}

// The common case of a one-index numeric fetch: an element inside its array. Stores it (and
// the element reference) and gives its bits; false, with nothing done, otherwise.
template <int Type>
inline bool FetchQuickly(CodeWord* pc, uint32_t& bits) {
  const uintptr_t i = (uintptr_t(pc[1]) - reinterpret_cast<uintptr_t>(g_cells + kCellIntVar)) / sizeof(VarCell);
  if (i - uintptr_t(Type) * 2000 >= 2000 || uintptr_t(pc[1]) != reinterpret_cast<uintptr_t>(g_cells + kCellIntVar + i))
    return false;
  const ArrayEntry& e = g_arrays[i];
  const int64_t flat = Cell(pc, 2)->i;
  if (!e.data || flat < 0 || flat >= e.total) return false;
  bits = static_cast<const uint32_t*>(e.data)[flat];
  Cell(pc, 0)->i = int32_t(bits);
  const uintptr_t destIndex = (uintptr_t(pc[0]) - reinterpret_cast<uintptr_t>(g_cells)) / sizeof(VarCell);
  if (destIndex < uintptr_t(kElementRefCount)) g_elementRefs[destIndex] = ElementRef{int32_t(i), e.generation, flat};
  return true;
}

template <int Type, int Dims>
CodeWord* FetchElement(CodeWord* pc) {
  if constexpr (Type != 2 && Dims == 1) {
    uint32_t bits;
    if (FetchQuickly<Type>(pc, bits)) return pc + 3;
  }
  return FetchElementInGeneral<Type, Dims>(pc);
}

// A one-index numeric fetch whose element the next operator uses (operand Use): as the fused
// operator forms, the operator takes the element from the register; then the assignment of
// its result and the command after it, or the command after the operator. A fetch outside
// the common case runs alone, then the operator through its own handler.
template <int Type, operator_bits::Binary B, int Use, bool Assign>
CodeWord* FetchThenValue(CodeWord* pc) {
  uint32_t element;
  if (!FetchQuickly<Type>(pc, element)) {
    CodeWord* next = FetchElementInGeneral<Type, 1>(pc);
    if (LeaveSlice) return next;
    return RunThreadedNext(next);
  }
  const CodeWord* op = pc + 4;
  const uint32_t bits = Use == 1 ? B(element, uint32_t(Cell(op, 2)->i)) : B(uint32_t(Cell(op, 1)->i), element);
  Cell(op, 0)->i = int32_t(bits);
  if constexpr (Assign) {
    Cell(pc, 8)->i = int32_t(bits);
    return RunThreadedNext(pc + 10);
  }
  return RunThreadedNext(pc + 7);
}

// Per element type, operand used and operator (by its place in operator_bits): with and
// without the assignment.
struct FetchFusedForms {
  ThreadedHandler thenAssignThenNext, thenNext;
};
template <size_t K>
constexpr FetchFusedForms MakeFetchFused() {
  constexpr size_t n = operator_bits::kCount;
  constexpr int type = int(K / (2 * n)), use = int(K / n % 2) + 1;
  constexpr operator_bits::Binary b = operator_bits::kBinaries[K % n];
  return {FetchThenValue<type, b, use, true>, FetchThenValue<type, b, use, false>};
}
template <size_t... K>
constexpr std::array<FetchFusedForms, sizeof...(K)> MakeFetchFusedTable(std::index_sequence<K...>) {
  return {MakeFetchFused<K>()...};
}
constexpr auto kFetchFused = MakeFetchFusedTable(std::make_index_sequence<2 * 2 * operator_bits::kCount>());

PlacedForm FetchFusedFormAt(const CodeWord* at, int64_t room) {
  if ((at[0] != 661 && at[0] != 666) || room < 9 || !HasFastForm(at[4])) return {};
  const int b = operator_bits::IndexOf(at[4]), use = operator_bits::OperandUsing(at + 4, at[1]);
  if (b < 0 || use == 0) return {};
  const size_t type = at[0] == 666 ? 1 : 0;
  const FetchFusedForms& forms = kFetchFused[(type * 2 + size_t(use - 1)) * operator_bits::kCount + size_t(b)];
  if (room >= 12 && IsNumberAssignment(at[8]) && at[10] == at[5] && HasFastForm(at[8]) && HasFastForm(at[11]))
    return {forms.thenAssignThenNext, 11};
  if (HasFastForm(at[8])) return {forms.thenNext, 8};
  return {};
}

// The array of an array-file command is the array operand of the one-index element fetch
// just before it: three words before the command's first operand.
ArrayEntry* FileArray(int type) {
  if (ProgramCounter - 3 < CommandStream) return nullptr;
  const void* p = reinterpret_cast<const void*>(ProgramCounter[-3]);
  if (!IsCellAddress(p)) return nullptr;
  ArrayEntry* e = ArrayEntryOfCell(static_cast<const VarCell*>(p));
  if (!e || (e - g_arrays) / 2000 != type || !e->data) return nullptr;
  return e;
}

// Reads the array file through the pack's virtual files: only a regular file, and only as
// much of it as the array can take (4 bytes an element; for texts, a full line an element up
// to a fixed cap). A name that does not exist at all is created as an empty file; anything
// else (a folder, a pipe, a device, a dangling link) fails, and why says why.
bool ReadArrayFile(const ArrayEntry& e, int type, std::string& bytes, std::string* why) {
  constexpr uint64_t kMaxTextFile = uint64_t(256) << 20;
  const uint64_t total = uint64_t(std::max<int64_t>(e.total, 0));
  const uint64_t need = type == 2 ? std::min(total * (kMaxText + 3) + 4096, kMaxTextFile) : total * 4;
  std::string name = OpString(0);
  MapThroughPack(name, "dat");
  errno = 0;
  switch (FsReadRegularFile(name, bytes, need, true)) {
    case FsRead::kOk: return true;
    case FsRead::kMissing:
      errno = 0;
      if (FsCreateEmptyFile(name)) return true;
      *why = "not found, and cannot be made";
      break;
    case FsRead::kNotRegular: *why = "not a regular file"; return false;
    default: *why = "cannot be read"; break;
  }
  if (errno) why->append(": ").append(std::strerror(errno));
  return false;
}

template <int Type>
void CmdLoadArray() {
  ArrayEntry* e = FileArray(Type);
  std::string bytes, why;
  const FileLoadScope load(kErrArrayFileNotOpened, OpString(0));
  if (!e) {
    RunError(kErrArrayFileWithoutArray);
  } else if (!ReadArrayFile(*e, Type, bytes, &why) || !FillArrayFromFile(*e, bytes, &why)) {
    RunFileError(kErrArrayFileNotOpened, OpString(0), why);
  }
  ProgramCounter += 2;
}

template <int Type>
void CmdSaveArray() {
  ArrayEntry* e = FileArray(Type);
  if (!e) {
    RunError(kErrArrayFileWithoutArray);
    ProgramCounter += 2;
    return;
  }
  std::string bytes;
  if constexpr (Type != 2) {
    const uint32_t* values = static_cast<const uint32_t*>(e->data);
    bytes.resize(size_t(e->total) * 4);
    for (int64_t k = 0; k < e->total; ++k)
      for (int b = 0; b < 4; ++b) bytes[size_t(k) * 4 + size_t(b)] = char(values[k] >> (8 * b));
  } else {
    char* const* texts = static_cast<char* const*>(e->data);
    for (int64_t k = 0; k < e->total; ++k) {
      if (texts[k]) bytes += texts[k];
      bytes += "\r\n";
    }
  }
  MakePackedFoldersFor(OpString(0));
  if (!FsWriteFileAtomic(OpString(0), bytes))
    RunFileError(kErrArrayFileNotOpened, OpString(0), FsProgramWriteCause(OpString(0), errno));
  ProgramCounter += 2;
}

const CommandDef kArrays[] = {
    {561, SlowForm<StoreElement<0, 1>>, "lll", StoreElement<0, 1>},
    {562, SlowForm<StoreElement<0, 2>>, "llll", StoreElement<0, 2>},
    {563, SlowForm<StoreElement<0, 3>>, "lllll", StoreElement<0, 3>},
    {564, SlowForm<StoreElement<0, 4>>, "llllll", StoreElement<0, 4>},
    {565, SlowForm<StoreElement<0, 5>>, "lllllll", StoreElement<0, 5>},
    {566, SlowForm<StoreElement<1, 1>>, "flf", StoreElement<1, 1>},
    {567, SlowForm<StoreElement<1, 2>>, "fllf", StoreElement<1, 2>},
    {568, SlowForm<StoreElement<1, 3>>, "flllf", StoreElement<1, 3>},
    {569, SlowForm<StoreElement<1, 4>>, "fllllf", StoreElement<1, 4>},
    {570, SlowForm<StoreElement<1, 5>>, "flllllf", StoreElement<1, 5>},
    {571, SlowForm<StoreElement<2, 1>>, "sls", StoreElement<2, 1>},
    {572, SlowForm<StoreElement<2, 2>>, "slls", StoreElement<2, 2>},
    {573, SlowForm<StoreElement<2, 3>>, "sllls", StoreElement<2, 3>},
    {574, SlowForm<StoreElement<2, 4>>, "slllls", StoreElement<2, 4>},
    {575, SlowForm<StoreElement<2, 5>>, "sllllls", StoreElement<2, 5>},
    {576, SlowForm<StoreElement<3, 1>>, "fll", StoreElement<3, 1>},
    {577, SlowForm<StoreElement<3, 2>>, "flll", StoreElement<3, 2>},
    {578, SlowForm<StoreElement<3, 3>>, "fllll", StoreElement<3, 3>},
    {579, SlowForm<StoreElement<3, 4>>, "flllll", StoreElement<3, 4>},
    {580, SlowForm<StoreElement<3, 5>>, "fllllll", StoreElement<3, 5>},
    {661, SlowForm<FetchElement<0, 1>>, "lll", FetchElement<0, 1>},
    {662, SlowForm<FetchElement<0, 2>>, "llll", FetchElement<0, 2>},
    {663, SlowForm<FetchElement<0, 3>>, "lllll", FetchElement<0, 3>},
    {664, SlowForm<FetchElement<0, 4>>, "llllll", FetchElement<0, 4>},
    {665, SlowForm<FetchElement<0, 5>>, "lllllll", FetchElement<0, 5>},
    {666, SlowForm<FetchElement<1, 1>>, "ffl", FetchElement<1, 1>},
    {667, SlowForm<FetchElement<1, 2>>, "ffll", FetchElement<1, 2>},
    {668, SlowForm<FetchElement<1, 3>>, "fflll", FetchElement<1, 3>},
    {669, SlowForm<FetchElement<1, 4>>, "ffllll", FetchElement<1, 4>},
    {670, SlowForm<FetchElement<1, 5>>, "fflllll", FetchElement<1, 5>},
    {671, SlowForm<FetchElement<2, 1>>, "ssl", FetchElement<2, 1>},
    {672, SlowForm<FetchElement<2, 2>>, "ssll", FetchElement<2, 2>},
    {673, SlowForm<FetchElement<2, 3>>, "sslll", FetchElement<2, 3>},
    {674, SlowForm<FetchElement<2, 4>>, "ssllll", FetchElement<2, 4>},
    {675, SlowForm<FetchElement<2, 5>>, "sslllll", FetchElement<2, 5>},
    // Without a fast form: DIM, UNDIM and the array files.
    {501, CmdDimArray<0, 1>, "ll"},
    {502, CmdDimArray<0, 2>, "lll"},
    {503, CmdDimArray<0, 3>, "llll"},
    {504, CmdDimArray<0, 4>, "lllll"},
    {505, CmdDimArray<0, 5>, "llllll"},
    {511, CmdDimArray<1, 1>, "fl"},
    {512, CmdDimArray<1, 2>, "fll"},
    {513, CmdDimArray<1, 3>, "flll"},
    {514, CmdDimArray<1, 4>, "fllll"},
    {515, CmdDimArray<1, 5>, "flllll"},
    {521, CmdDimArray<2, 1>, "sl"},
    {522, CmdDimArray<2, 2>, "sll"},
    {523, CmdDimArray<2, 3>, "slll"},
    {524, CmdDimArray<2, 4>, "sllll"},
    {525, CmdDimArray<2, 5>, "slllll"},
    {506, CmdUndimArray<0>, "l"},
    {516, CmdUndimArray<1>, "f"},
    {526, CmdUndimArray<2>, "s"},
    {5001, CmdLoadArray<0>, "sn"},
    {5002, CmdLoadArray<1>, "sn"},
    {5003, CmdLoadArray<2>, "sn"},
    {5004, CmdSaveArray<0>, "sn"},
    {5005, CmdSaveArray<1>, "sn"},
    {5006, CmdSaveArray<2>, "sn"},
};

}  // namespace

// The one- and two-index numeric element commands go on with the next command themselves.
PlacedForm ArrayFormAt(const CodeWord* at, int64_t room, bool mayChain) {
  if (!mayChain) return {};
  struct Chained {
    int32_t number, words;
    ThreadedHandler form;
  };
  static const Chained kChained[] = {
      {561, 4, ThenNext<StoreElement<0, 1>>}, {562, 5, ThenNext<StoreElement<0, 2>>},
      {566, 4, ThenNext<StoreElement<1, 1>>}, {567, 5, ThenNext<StoreElement<1, 2>>},
      {576, 4, ThenNext<StoreElement<3, 1>>}, {577, 5, ThenNext<StoreElement<3, 2>>},
      {661, 4, ThenNext<FetchElement<0, 1>>}, {662, 5, ThenNext<FetchElement<0, 2>>},
      {666, 4, ThenNext<FetchElement<1, 1>>}, {667, 5, ThenNext<FetchElement<1, 2>>},
  };
  if (const PlacedForm fused = FetchFusedFormAt(at, room); fused.handler) return fused;
  for (const Chained& c : kChained)
    if (at[0] == c.number && room > c.words && HasFastForm(at[c.words])) return {c.form, c.words};
  return {};
}

std::span<const CommandDef> ArrayCommands() { return kArrays; }
