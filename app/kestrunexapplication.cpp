#include "app/kestrunexapplication.h"

#include <exception>

#include "config/simplemessage.h"
#include "platform/text.h"

KestrunexApplication::KestrunexApplication(int& argc, char** argv) : QApplication(argc, argv) {}

void KestrunexApplication::ShowException(const std::wstring& text) { ShowSimpleMessage(text); }

bool KestrunexApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    ShowException(platform::WideFromAnsi(e.what()));
  } catch (...) {
    ShowException(L"");
  }
  // Qt cannot carry an exception through its loop: end the loop here, as
  // the exception would have.
  exit(0);
  return false;
}
