#include "app/folderpicker.h"

#include <QFileDialog>

#include "platform/machine/prefixtrust.h"

QString PickFolderWithDialog(QWidget* owner, const QString& title) {
  // The program's own folder is no place to start: the user's home is.
  const QString start = QString::fromStdString(platform::InvokerHomeFolder());
  return QFileDialog::getExistingDirectory(owner, title, start, QFileDialog::ShowDirsOnly);
}
