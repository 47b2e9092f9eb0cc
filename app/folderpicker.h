#pragma once
// The folder picker of the ISO destination page: Qt's folder dialog owned
// by the window, file-system folders only. The host path chosen, or empty
// when the user cancelled.

#include <QString>
#include <QWidget>

QString PickFolderWithDialog(QWidget* owner, const QString& title);
