// Qt's own texts (the file dialog, a text field's context menu, message box buttons) in
// Simplified Chinese, like the rest of the program.
#pragma once

#include <QString>

// Loads Qt's Simplified Chinese translation into the application: from a "translations"
// folder beside the program (the Windows package) or Qt's own (Debian's
// qt6-translations-l10n). Returns the file loaded, empty when there is none: Qt's texts then
// stay English.
QString InstallQtTranslations();
