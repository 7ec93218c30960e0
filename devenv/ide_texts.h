#pragma once
#include <string>
#include <vector>

// The environment's words: numbered texts of the language file's GENERAL, MENU, TITLE and DESC
// sections. Every key the environment reads is named here and listed by IdeTextKeysRead.

enum class IdeSection { General, Menu, Title, Desc };

inline constexpr int kGeneralProject = 4;      // status text label of the project folder
inline constexpr int kGeneralFile = 5;         // status text label of the file name
inline constexpr int kGeneralHelpPage = 21;    // help pane: no link under the pointer
inline constexpr int kGeneralPageLink = 22;    // help pane: a link to a page
inline constexpr int kGeneralFileLink = 23;    // help pane: a link to anything else
inline constexpr int kTitleRunButton = 1;      // top buttons
inline constexpr int kTitleHelpButton = 2;
inline constexpr int kDescPercent = 9;         // after the percentage in the progress box
inline constexpr int kDescSaved = 32;
inline constexpr int kDescBuilt = 34;
inline constexpr int kDescNoFile = 42;
inline constexpr int kDescReadOnly = 43;
inline constexpr int kDescRunning = 44;
inline constexpr int kDescRunningWindow = 45;
inline constexpr int kDescNoMediaFolder = 46;
inline constexpr int kDescProgramEnded = 47;
inline constexpr int kDescWindowTitle = 48;
inline constexpr int kDescNoHelpPage = 49;

// ---- the menus: MENU texts by number, the six titles and every item's text.
inline constexpr int kMenuTextKeys[] = {1,  2,  3,  4,  5,  6,  11, 12, 13, 14, 15, 16, 17, 18, 21, 22, 23, 24,
                                        25, 26, 27, 31, 32, 33, 34, 41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51,
                                        61, 62, 71, 72, 73, 74, 75, 76, 77, 78, 79};

struct IdeTextKey {
  IdeSection section;
  int index;
};
const std::vector<IdeTextKey>& IdeTextKeysRead();

// The text of a key from the loaded language tables; "" when missing.
const std::string& IdeText(IdeSection section, int index);
