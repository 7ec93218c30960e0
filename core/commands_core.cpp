// The command families of the runtime core's language commands, gathered for the table.
#include <vector>

#include "core/command_table.h"
#include "core/language.h"

std::span<const CommandDef> CoreCommands() {
  static const std::vector<CommandDef> all = [] {
    std::vector<CommandDef> v;
    for (auto family : {ControlCommands(), DataCommands(), OperatorCommands(), ArrayCommands(), StringCommands(),
                        MathsCommands()})
      v.insert(v.end(), family.begin(), family.end());
    return v;
  }();
  return all;
}
