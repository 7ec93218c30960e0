#include "platform/message_name.h"

namespace {

std::string g_messageName = "vellumark";

}  // namespace

const char* MessageName() { return g_messageName.c_str(); }

void SetMessageName(const std::string& name) {
  if (!name.empty()) g_messageName = name;
}
