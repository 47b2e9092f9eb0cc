#pragma once
// The application object of the program. An exception that escapes an event
// handler is shown in a message box with its text (an unknown thrown object
// with an empty text), and the message loop then ends; the program still
// exits with 0.

#include <QApplication>

#include <string>

class KestrunexApplication final : public QApplication {
 public:
  KestrunexApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;

  // The standard exception display.
  static void ShowException(const std::wstring& text);
};
