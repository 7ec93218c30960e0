// The help viewer's history: pages visited with the scroll positions they were left at.
#include "devenv/help_viewer.h"
#include "devenv/ide_state.h"

namespace {

// How a history node names its page: from the help root when the page lies in the help
// folder, else its full path.
std::string HistoryName(const std::string& resolved) {
  const std::string& help = g_ide.settings.helpFolder;
  if (!help.empty() && resolved.compare(0, help.size(), help) == 0) return resolved.substr(help.size());
  return resolved;
}

// Loads a page (from the current sub-folder, then from the help root) and starts it at the top.
bool Open(const std::string& name) {
  const std::string saved = g_help.subFolder;
  std::string resolved;
  if (!HelpLoadPage(name, &resolved)) {
    g_help.subFolder.clear();
    if (!HelpLoadPage(name, &resolved)) {
      g_help.subFolder = saved;
      return false;
    }
  }
  g_help.pageName = HelpNormalisePath(resolved);
  g_help.scroll = 0;
  g_help.documentHeight = 0;
  g_help.indexCache.clear();
  g_help.links.clear();
  return true;
}

// Loads the page of a history node, named from the help root.
bool OpenNode(const HelpHistoryNode& node) {
  const std::string saved = g_help.subFolder;
  g_help.subFolder.clear();
  if (Open(node.page)) return true;
  g_help.subFolder = saved;
  return false;
}

HelpHistoryNode* NodeAt(uint32_t position) {
  return position >= 1 && position <= g_help.history.size() ? &g_help.history[position - 1] : nullptr;
}

// Leaving the current page: its node keeps the scroll it is left at.
void KeepScroll() {
  if (HelpHistoryNode* n = NodeAt(g_help.currentPosition)) n->scroll = g_help.scroll;
}

// Back or forward by one step.
bool Step(int32_t by) {
  HelpViewer& h = g_help;
  HelpHistoryNode* to = NodeAt(h.currentPosition + by);
  if (!to) return false;
  KeepScroll();
  const HelpHistoryNode node = *to;
  if (!OpenNode(node)) return false;
  h.currentPosition += by;
  h.scroll = node.scroll;
  return true;
}

}  // namespace

bool HelpOpenPage(const std::string& name) {
  if (!Open(name)) return false;
  HelpHistoryNode node{HistoryName(g_help.pageName), 0};
  if (HelpHistoryNode* n = NodeAt(g_help.currentPosition)) *n = node;
  else g_help.history.push_back(node);
  return true;
}

bool HelpGoToPage(const std::string& name) {
  HelpViewer& h = g_help;
  std::vector<HelpHistoryNode> history;
  history.swap(h.history);
  const uint32_t current = h.currentPosition, newest = h.newestPosition;
  h.currentPosition = h.newestPosition = 1;
  if (HelpOpenPage(name)) return true;
  h.history.swap(history);
  h.currentPosition = current;
  h.newestPosition = newest;
  return false;
}

bool HelpFollowLink(const std::string& name) {
  HelpViewer& h = g_help;
  if (name.empty()) return false;
  const bool samePage = h.hasPage && HelpTargetPath(name) == h.pageName;
  const uint32_t current = h.currentPosition, newest = h.newestPosition;
  if (!samePage) {
    KeepScroll();
    h.currentPosition = h.newestPosition = current + 1;
  }
  if (!HelpOpenPage(name)) {
    h.currentPosition = current;
    h.newestPosition = newest;
    return false;
  }
  if (h.history.size() > h.newestPosition) h.history.resize(h.newestPosition);
  return true;
}

bool HelpBack() { return HelpCanGoBack() && Step(-1); }

bool HelpForward() { return HelpCanGoForward() && Step(1); }

bool HelpCanGoBack() { return g_help.currentPosition > 1; }

bool HelpCanGoForward() { return g_help.currentPosition < g_help.newestPosition; }
