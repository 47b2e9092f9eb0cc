#pragma once
// Qt's own texts (the Yes and No of a message box, the folder picker) in
// the user's language, from the Qt translations Debian ships. A language
// without them keeps Qt's English. Call once the application exists; the
// translator returned (null when there is none) belongs to the application.

#include <QLocale>

class QCoreApplication;
class QTranslator;

QTranslator* InstallQtTranslations(QCoreApplication& app, const QLocale& locale = QLocale::system());
