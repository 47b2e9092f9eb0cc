#include "app/folderpicker.h"

#include <QFileDialog>
#include <QFileInfo>

#include "platform/machine/prefixtrust.h"

namespace {

// The program's own folder is no place to start: the user's home is.
QString UserHome() { return QString::fromStdString(platform::InvokerHomeFolder()); }

}  // namespace

QString PickFolderWithDialog(QWidget* owner, const QString& title) {
  return QFileDialog::getExistingDirectory(owner, title, UserHome(), QFileDialog::ShowDirsOnly);
}

QString PickImageWithDialog(QWidget* owner, const QString& title) {
  // A downloaded image is most likely where the browser put it.
  const QString home = UserHome();
  const QString downloads = home + "/Downloads";
  const QString start = !home.isEmpty() && QFileInfo(downloads).isDir() ? downloads : home;
  return QFileDialog::getOpenFileName(owner, title, start, "ISO (*.iso *.ISO)");
}
