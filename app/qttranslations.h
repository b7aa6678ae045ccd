#pragma once

class QCoreApplication;

// Qt's own texts (standard buttons, the print preview, context menus) in
// German like the program's, from Qt's translations (qttranslations5-l10n).
// False when they are not installed; Qt then speaks English.
bool installQtTranslations(QCoreApplication &app);
