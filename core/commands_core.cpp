// The command families of the runtime core's language commands, gathered for the table.
#include <vector>

#include "core/command_table.h"
#include "core/commands.h"
#include "core/language.h"

FastEntry g_fastEntries[kCommandSlots];

std::span<const CommandDef> CoreCommands() {
  static const std::vector<CommandDef> all = [] {
    std::vector<CommandDef> v;
    for (auto family : {ControlCommands(), ArrayCommands()}) v.insert(v.end(), family.begin(), family.end());
    for (auto family : {FastControlCommands(), FastDataCommands(), FastOperatorCommands(), FastArrayCommands(),
                        FastStringCommands(), FastMathsCommands()}) {
      for (const FastCommand& c : family) {
        v.push_back(CommandDef{c.number, c.slow, c.operands});
        g_fastEntries[c.number] = FastEntry{c.slow, c.fast};
      }
    }
    return v;
  }();
  return all;
}
