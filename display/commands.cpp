#include "display/commands.h"

#include <vector>

#include "display/commands_list.h"

std::span<const CommandDef> DisplayCommands() {
  static const std::vector<CommandDef> all = [] {
    std::vector<CommandDef> v;
    for (auto family : {BitmapCommands(), DrawCommands(), TextCommands(), PrintCommands(), ModeCommands()})
      v.insert(v.end(), family.begin(), family.end());
    return v;
  }();
  return all;
}
