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
inline constexpr int kTitleExitButton = 2;
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
inline constexpr int kDescNoMediaBrowser = 65;
inline constexpr int kDescWorkFileNotWritten = 66;  // followed by ": " and the cause
inline constexpr int kDescRecordNotWritten = 67;    // the same

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

// ---- the browser panel: buttons, labels, titles, questions and messages
inline constexpr int kGeneralYes = 1, kGeneralNo = 2, kGeneralNew = 6, kGeneralCancel = 7, kGeneralSelect = 8,
                     kGeneralFileName = 9, kGeneralTitle = 10, kGeneralAuthor = 11, kGeneralDate = 12,
                     kGeneralOpen = 13, kGeneralSave = 14, kGeneralMake = 15, kGeneralFind = 16,
                     kGeneralReplace = 17, kGeneralBrowse = 18, kGeneralDone = 19, kGeneralChoose = 20;
inline constexpr int kTitleNewProject = 3, kTitleOpen = 4, kTitleSaveAs = 5, kTitleMake = 6, kTitleMakeMedia = 7,
                     kTitleMediaEditors = 10, kTitleEditorProgram = 11;
inline constexpr int kDescQuit = 2, kDescSaveFirst = 3, kDescReplaceIt = 10, kDescLoadExample = 11,
                     kDescNotSaved = 12, kDescLoaded = 13, kDescNotLoaded = 14, kDescNotSource = 15,
                     kDescNoName = 16, kDescNoFolder = 17, kDescNotBuilt = 18, kDescNoProjectName = 19,
                     kDescFileInWay = 20, kDescProjectNotMade = 21, kDescProjectOpened = 22,
                     kDescNoProjectSource = 23, kDescProjectMade1 = 24, kDescProjectMade2 = 25,
                     kDescNoSuchFile = 26, kDescNotProgram = 27, kDescFileReadOnly = 28, kDescNotFound = 29,
                     kDescFolderFailed = 30, kDescUnsaved = 33, kDescParent = 35, kDescOutputIsInput = 36,
                     kDescTab = 37, kDescChangedSaveFirst = 38, kDescUntitled = 39,
                     kDescChangedOnDisk = 40, kDescOtherTabHolds = 41, kDescHelpKept = 68;
// Description lines of the list panels: kind 8 from 50, kinds 6, 7 and 72 from 54, 58 and 62.
inline constexpr int kDescNewProjectLines = 50, kDescMakeLines = 54, kDescMakeMediaLines = 58,
                     kDescEditorLines = 62;
inline constexpr IdeTextKey kBrowserTextKeys[] = {
    {IdeSection::General, kGeneralYes}, {IdeSection::General, kGeneralNo}, {IdeSection::General, kGeneralNew},
    {IdeSection::General, kGeneralCancel}, {IdeSection::General, kGeneralSelect},
    {IdeSection::General, kGeneralFileName}, {IdeSection::General, kGeneralTitle},
    {IdeSection::General, kGeneralAuthor}, {IdeSection::General, kGeneralDate}, {IdeSection::General, kGeneralOpen},
    {IdeSection::General, kGeneralSave}, {IdeSection::General, kGeneralMake}, {IdeSection::General, kGeneralFind},
    {IdeSection::General, kGeneralReplace}, {IdeSection::General, kGeneralBrowse},
    {IdeSection::General, kGeneralDone}, {IdeSection::General, kGeneralChoose},
    {IdeSection::Title, kTitleNewProject}, {IdeSection::Title, kTitleOpen}, {IdeSection::Title, kTitleSaveAs},
    {IdeSection::Title, kTitleMake}, {IdeSection::Title, kTitleMakeMedia}, {IdeSection::Title, kTitleMediaEditors},
    {IdeSection::Title, kTitleEditorProgram},
    {IdeSection::Desc, kDescQuit}, {IdeSection::Desc, kDescSaveFirst}, {IdeSection::Desc, kDescReplaceIt},
    {IdeSection::Desc, kDescLoadExample}, {IdeSection::Desc, kDescNotSaved}, {IdeSection::Desc, kDescLoaded},
    {IdeSection::Desc, kDescNotLoaded}, {IdeSection::Desc, kDescNotSource}, {IdeSection::Desc, kDescNoName},
    {IdeSection::Desc, kDescNoFolder}, {IdeSection::Desc, kDescNotBuilt}, {IdeSection::Desc, kDescNoProjectName},
    {IdeSection::Desc, kDescFileInWay}, {IdeSection::Desc, kDescProjectNotMade},
    {IdeSection::Desc, kDescProjectOpened}, {IdeSection::Desc, kDescNoProjectSource},
    {IdeSection::Desc, kDescProjectMade1}, {IdeSection::Desc, kDescProjectMade2},
    {IdeSection::Desc, kDescNoSuchFile}, {IdeSection::Desc, kDescNotProgram},
    {IdeSection::Desc, kDescFileReadOnly}, {IdeSection::Desc, kDescNotFound},
    {IdeSection::Desc, kDescFolderFailed}, {IdeSection::Desc, kDescUnsaved}, {IdeSection::Desc, kDescParent},
    {IdeSection::Desc, kDescOutputIsInput}, {IdeSection::Desc, kDescTab},
    {IdeSection::Desc, kDescChangedSaveFirst}, {IdeSection::Desc, kDescUntitled},
    {IdeSection::Desc, kDescChangedOnDisk}, {IdeSection::Desc, kDescOtherTabHolds}, {IdeSection::Desc, kDescHelpKept},
    {IdeSection::Desc, 50}, {IdeSection::Desc, 51}, {IdeSection::Desc, 52},
    {IdeSection::Desc, 54}, {IdeSection::Desc, 55}, {IdeSection::Desc, 56},
    {IdeSection::Desc, 58}, {IdeSection::Desc, 59}, {IdeSection::Desc, 60},
    {IdeSection::Desc, 62}, {IdeSection::Desc, 63}, {IdeSection::Desc, 64},
};
