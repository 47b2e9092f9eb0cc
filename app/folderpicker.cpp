#include "app/folderpicker.h"

#include <QFileDialog>

QString PickFolderWithDialog(QWidget* owner, const QString& title) {
  return QFileDialog::getExistingDirectory(owner, title, QString(), QFileDialog::ShowDirsOnly);
}
