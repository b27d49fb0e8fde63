#pragma once

class QWidget;

namespace vantora {

// The program entry: single-instance rule, windows, message loop.
int runApplication(int argc, char **argv);

// Installs Qt's own Japanese texts (qtbase_ja) for the standard dialogs, whatever the locale; once.
// False when the translation is missing.
bool installJapaneseQtTranslation();

// Runs the message loop for a shown main window. The start-up sequence runs within the window's first
// show, before the loop; a close during it (the count's force stop) ends the program here, since the loop
// would otherwise wait for ever with no window.
int execMainLoop(const QWidget *mainWindow);

} // namespace vantora
