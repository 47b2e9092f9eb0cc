#pragma once
// The wizard's host dialogs, owned by the window: the folder picker of the
// ISO destination page (file-system folders only) and the disc image picker
// of the source page. Each gives the host path chosen, or empty when the
// user cancelled, and starts where the user keeps their files.

#include <QString>
#include <QWidget>

QString PickFolderWithDialog(QWidget* owner, const QString& title);
QString PickImageWithDialog(QWidget* owner, const QString& title);
