#pragma once
// The help pane in the environment: help pages shown over the editor, their links, scrolling
// and history buttons.
#include <cstdint>
#include <string>

// A non-empty name opens that page with a fresh history; an empty one keeps the page loaded.
// Shows the pane over the editor and draws the page.
void IdeShowHelpPage(const std::string& name);
// Hides the pane and gives the editor its surface back.
void IdeCloseHelp();
// Clears the sub-folder of the help pages, so the next name is taken from the help root.
void IdeHelpFromRoot();
// A left click while the pane is shown (buttons, scroll bar, links); true when it was taken.
bool HelpPaneClick();
// A key-down while the pane is shown (arrows and page keys scroll); true when it was taken.
bool HelpPaneKey(int32_t vk);
// Every frame while the pane is shown (scroll-bar drag and arrows).
void HelpPaneFrame();
// With the environment's creation and destruction: the pane's pictures.
bool HelpPaneCreate();
void HelpPaneRelease();
// Renders the page on the editor surface and copies the pane's part to the environment screen.
void HelpPaneDrawPage();
// The hit test over the page (x, y on the screen): the link under the pointer becomes the one a
// click follows, and the status line says what it is.
void HelpPaneHover(int32_t x, int32_t y);
