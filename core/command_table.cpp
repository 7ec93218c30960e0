#include "core/command_table.h"

#include <cstdio>

#include "core/errors.h"
#include "core/function_results.h"
#include "core/strings.h"
#include "platform/events.h"
#include "platform/message_name.h"

CommandHandler g_commandTable[kCommandSlots];
FastEntry g_fastEntries[kCommandSlots];
const char* g_commandOperands[kCommandSlots];
int32_t g_unavailableCommand = 0;

namespace {

// The family's own handler of each function installed behind RunFunction, and its result kind.
CommandHandler g_functionHandlers[kCommandSlots];
char g_functionResults[kCommandSlots];

struct NumberRange {
  int16_t first, last;
};

// Every command number of the finished system, as ranges.
const NumberRange kListed[] = {
{1, 2}, {5, 10}, {12, 12}, {21, 35}, {41, 43}, {51, 54}, {61, 61}, {64, 66},
{71, 71}, {74, 76}, {81, 81}, {84, 87}, {91, 91}, {94, 97}, {101, 103}, {111, 121},
{123, 124}, {131, 144}, {151, 155}, {201, 213}, {215, 230}, {232, 246}, {248, 253}, {255, 261},
{263, 266}, {301, 307}, {311, 312}, {321, 322}, {331, 332}, {341, 342}, {351, 352}, {355, 355},
{361, 368}, {371, 373}, {381, 382}, {390, 394}, {403, 414}, {421, 427}, {431, 434}, {453, 454},
{461, 465}, {470, 477}, {479, 480}, {483, 484}, {491, 492}, {501, 506}, {511, 516}, {521, 526},
{561, 580}, {661, 675}, {1001, 1014}, {1051, 1062}, {1500, 1501}, {1551, 1556}, {1571, 1571}, {2001, 2007},
{2012, 2016}, {2051, 2054}, {2057, 2060}, {3001, 3015}, {3021, 3030}, {3041, 3043}, {3046, 3046}, {3051, 3067},
{3501, 3507}, {3551, 3554}, {3601, 3601}, {4001, 4002}, {4101, 4110}, {4112, 4113}, {4501, 4510}, {4521, 4540},
{4551, 4554}, {5001, 5006}, {5500, 5504}, {5511, 5527}, {5529, 5530}, {5533, 5534}, {5541, 5542}, {6001, 6011},
{6501, 6506}, {7000, 7016}, {7018, 7071}, {7074, 7077}, {7081, 7109}, {7111, 7114}, {7121, 7121}, {7131, 7137},
{7201, 7204}, {7251, 7264}, {7301, 7307}, {7309, 7318}, {7501, 7501}, {7511, 7529}, {7533, 7546}, {7551, 7556},
{7560, 7562}, {7571, 7581}, {7601, 7613}, {7616, 7618}, {7651, 7656}, {7661, 7664}, {7671, 7678}, {7701, 7710},
{7901, 7904}, {7911, 7912}, {7921, 7925}, {7931, 7932}, {7941, 7941}, {7951, 7956}, {7981, 7984}, {8001, 8008},
{8021, 8026}, {8031, 8035}, {8041, 8043}, {8051, 8059}, {8061, 8069}, {8071, 8072}, {8101, 8104}, {8121, 8126},
{8201, 8212}, {8301, 8304}, {8306, 8309}, {9001, 9004}, {9011, 9013}, {9051, 9056}, {9101, 9111}, {9501, 9501},
{9551, 9556}, {9601, 9604}, {9801, 9803}, {9990, 9995}};

// Handler of the commands whose subsystem is not built yet: ends the run and names the
// command, so a program never gets a silent wrong result from it.
void CmdUnavailable() {
  int32_t number = int32_t(ProgramCounter[-1]);
  g_unavailableCommand = number;
  std::fprintf(stderr, "%s: command %d is not available in this build\n", MessageName(), number);
  WaitAndRetry();
  PostQuit();
}

// Runs a function command from a cleared result cell: 0, or the empty text (its block kept). A
// path on which the handler computes nothing (a number with nothing behind it, a missing file,
// a warning a built game goes past) so gives a defined value, never what an earlier expression
// left in the cell. The command word stands in front of the operands.
void RunFunction() {
  const uintptr_t number = uintptr_t(ProgramCounter[-1]);
  VarCell* result = OpCell(0);
  if (g_functionResults[number] != 's') result->raw = 0;
  else if (result->s) SetCellString(result, "", 0);
  g_functionHandlers[number]();
}

}  // namespace

CommandHandler FamilyHandler(int number) {
  if (number <= 0 || number >= kCommandSlots) return nullptr;
  return g_commandTable[number] == RunFunction ? g_functionHandlers[number] : g_commandTable[number];
}

bool IsCommandBuilt(int number) {
  return number > 0 && number < kCommandSlots && g_commandTable[number] && g_commandTable[number] != CmdUnavailable;
}

bool IsListedCommand(int number) {
  for (const NumberRange& r : kListed)
    if (number >= r.first && number <= r.last) return true;
  return false;
}

int ListedCommandCount() {
  int n = 0;
  for (const NumberRange& r : kListed) n += r.last - r.first + 1;
  return n;
}

void ClearCommandTable() {
  for (int i = 0; i < kCommandSlots; ++i) {
    g_commandTable[i] = nullptr;
    g_commandOperands[i] = nullptr;
    g_fastEntries[i] = FastEntry{};
    g_functionHandlers[i] = nullptr;
    g_functionResults[i] = 0;
  }
  for (const NumberRange& r : kListed)
    for (int n = r.first; n <= r.last; ++n) g_commandTable[n] = CmdUnavailable;
  g_unavailableCommand = 0;
}

void InstallFamily(const CommandFamily& family) {
  for (const CommandDef& d : family.commands()) {
    if (d.number <= 0 || d.number >= kCommandSlots) continue;
    g_commandTable[d.number] = d.handler;
    g_commandOperands[d.number] = d.operands;
    g_fastEntries[d.number] = d.fast ? FastEntry{d.handler, d.fast} : FastEntry{};
    // Functions on the fast path (the language's operators and functions) write their result
    // on every path themselves; the others run behind RunFunction.
    g_functionHandlers[d.number] = nullptr;
    g_functionResults[d.number] = d.fast ? 0 : FunctionResultKind(d.number);
    if (g_functionResults[d.number]) {
      g_functionHandlers[d.number] = d.handler;
      g_commandTable[d.number] = RunFunction;
    }
  }
}
