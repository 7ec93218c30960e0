// Help pages are files anyone can edit: any bytes decode, lay out (the index page's cache too)
// and hit-test without a hang, and the link areas stay on the page.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "devenv/help_viewer.h"
#include "devenv/ide_state.h"
#include "platform/fs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string help = FsTempFolder() + "/fuzzhelp/";
  static SurfacePtr target = [] {
    FsMakeFolders(help + "sub");
    g_ide.settings.helpFolder = help;
    SurfacePtr s = SurfaceCreate(200, 150, 16);
    HelpLoadBackground(s->Format());
    return s;
  }();
  if (size == 0) return 0;
  // The first byte chooses the page's name (the index page keeps a layout cache) and a pane width.
  const std::string name = data[0] & 1 ? "index.htm" : "sub/page.htm";
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  if (std::FILE* f = std::fopen((help + name).c_str(), "wb")) {
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
  g_help.subFolder.clear();
  if (!HelpGoToPage(name)) std::abort();
  g_help.target = target.get();
  g_help.rightLimit = data[0] & 2 ? 608 : 24;
  HelpRender();
  if (g_help.documentHeight <= 0) std::abort();
  for (int32_t scroll : {g_help.documentHeight / 2, g_help.documentHeight}) {
    HelpSetScroll(scroll);
    HelpRender();
    std::string link;
    for (int32_t y = 0; y < 440; y += 23)
      for (int32_t x = 0; x < 616; x += 61) HelpLinkAt(x, y, &link);
  }
  for (const HelpLink& k : g_help.links)
    if (k.x1 < 0 || k.y2 < k.y1) std::abort();
  // A link is followed when it stays near the help folder (not an absolute path).
  const std::string to = g_help.links.empty() ? name : g_help.links[0].target;
  if (to.find(':') == std::string::npos && to[0] != '/' && to[0] != '\\' && HelpFollowLink(to)) HelpRender();
  return 0;
}
