#include "devenv/ide_texts.h"

#include "runtime/language_file.h"

const std::vector<IdeTextKey>& IdeTextKeysRead() {
  static const std::vector<IdeTextKey> keys = [] {
    std::vector<IdeTextKey> k;
    for (int i : {kGeneralProject, kGeneralFile, kGeneralHelpPage, kGeneralPageLink, kGeneralFileLink})
      k.push_back({IdeSection::General, i});
    for (int i : {kTitleRunButton, kTitleExitButton}) k.push_back({IdeSection::Title, i});
    for (int i : {kDescPercent, kDescSaved, kDescBuilt, kDescNoFile, kDescReadOnly, kDescRunning, kDescRunningWindow,
                  kDescNoMediaFolder, kDescNoMediaBrowser, kDescProgramEnded, kDescWindowTitle, kDescNoHelpPage,
                  kDescWorkFileNotWritten, kDescRecordNotWritten})
      k.push_back({IdeSection::Desc, i});
    for (int i : kMenuTextKeys) k.push_back({IdeSection::Menu, i});
    for (const IdeTextKey& b : kBrowserTextKeys) k.push_back(b);
    return k;
  }();
  return keys;
}

const std::string& IdeText(IdeSection section, int index) {
  static const std::string empty;
  const std::vector<std::string>* table = nullptr;
  switch (section) {
    case IdeSection::General: table = &g_language.general; break;
    case IdeSection::Menu: table = &g_language.menu; break;
    case IdeSection::Title: table = &g_language.title; break;
    case IdeSection::Desc: table = &g_language.desc; break;
  }
  if (index < 0 || size_t(index) >= table->size()) return empty;
  return (*table)[size_t(index)];
}
