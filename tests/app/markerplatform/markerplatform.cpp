// A Qt platform plugin ("kxmarker") that only leaves a mark: when the
// library is loaded, a file "loaded" beside it holding the uid that loaded
// it. A caller's code run by the wizard would be this.
#include <dlfcn.h>
#include <unistd.h>

#include <QObject>
#include <fstream>
#include <string>

namespace {

__attribute__((constructor)) void LeaveMark() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&LeaveMark), &info) == 0 || !info.dli_fname) return;
  const std::string library = info.dli_fname;
  std::ofstream(library.substr(0, library.rfind('/') + 1) + "loaded") << ::getuid() << "\n";
}

}  // namespace

class MarkerPlatform : public QObject {
  Q_OBJECT
  Q_PLUGIN_METADATA(IID "org.qt-project.Qt.QPA.QPlatformIntegrationFactoryInterface.5.3" FILE "markerplatform.json")
};

#include "markerplatform.moc"
