// kestrunex: the wizard. One instance per machine (the lock "KESTRUNE",
// shared with kestrunex-cli); a second start ends at once with 0, silently.
// The mode window is made first and makes the licence and main windows;
// closing it ends the program. Always exits with 0. A disc image named on
// the command line is listed as an optical drive (imageargument.h). As
// administrator it takes nothing else from its caller: Qt's arguments are
// its own and the environment is cut to an allow-list (qtarguments.h,
// platform/admin.h).
// --help and --version answer on standard output and end (exit 0), before
// the lock and without a display.

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "app/imageargument.h"
#include "app/kestrunexapplication.h"
#include "app/programfolder.h"
#include "app/qtarguments.h"
#include "app/qtmainthread.h"
#include "app/qtmessageboxpresenter.h"
#include "app/qttranslations.h"
#include "app/tdlgfirst.h"
#include "app/tmainform.h"
#include "config/checkboxes.h"
#include "platform/admin.h"
#include "config/ovmultilangdll.h"
#include "platform/text.h"
#include "platform/windows/signalwatcher.h"
#include "src/gui/Painter/TextPainter/qttextrasterizer.h"
#include "platform/process/process.h"

namespace {
constexpr wchar_t kInstanceLock[] = L"KESTRUNE";
constexpr int kSignalExitBase = 128;  // the shell's status of a process a signal ended

// The windows a terminal's signal reaches, once they exist.
std::atomic<TdlgFirst*> g_signalTarget{nullptr};

void OnTerminalSignal(int signal) {
  TdlgFirst* first = g_signalTarget.load();
  // Before the windows exist (or after they went) there is nothing to cancel.
  if (!first) std::_Exit(kSignalExitBase + signal);
  QMetaObject::invokeMethod(
      first, [first] { first->MainForm().OnTerminalSignal(); }, Qt::QueuedConnection);
}

// --help or --version alone: the answer on standard output, before the lock
// is taken and before Qt starts (which needs a display). -1 for any other
// command line, else the exit status.
int AnswerOnTerminal(int argc, char** argv) {
  if (argc != 2) return -1;
  const std::string_view arg = argv[1];
  std::string text;
  if (arg == "--help" || arg == "-h") text = platform::AnsiFromWide(Translate(L"Wizard Help"));
  else if (arg == "--version") text = std::string("kestrunex ") + KX_VERSION;
  else return -1;
  text += '\n';
  const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
  return std::fflush(stdout) == 0 && written ? 0 : 1;
}

// Names the windows for the signal handler while they live.
struct SignalTarget {
  explicit SignalTarget(TdlgFirst* first) { g_signalTarget = first; }
  ~SignalTarget() { g_signalTarget = nullptr; }
  SignalTarget(const SignalTarget&) = delete;
  SignalTarget& operator=(const SignalTarget&) = delete;
};
}  // namespace

int main(int argc, char** argv) {
  if (const int answered = AnswerOnTerminal(argc, argv); answered >= 0) return answered;
  // Held until the process ends, however it ends.
  static platform::NamedMutex instance(kInstanceLock);
  if (!instance.Owned()) return 0;
  // Made before any other thread, so every thread has the signals blocked.
  platform::SignalWatcher terminal(OnTerminalSignal);
  // Named relative to where the program was started, not the program folder.
  const std::string image = ImageArgument(argc, argv);
  const bool administrator = platform::IsUserAnAdmin();
  const std::vector<std::string> given(argv, argv + argc);
  std::vector<std::string> qtArgs = QtArguments(given, std::getenv("QT_QPA_PLATFORM"), administrator);
  // Before Qt reads any of it (plugin paths, platform, styles, logging).
  if (administrator)
    platform::ReplaceEnvironment(platform::AdministratorEnvironment(platform::CurrentEnvironment(),
                                                                    platform::AdministratorHome()));
  std::vector<char*> qtArgv;
  for (std::string& arg : qtArgs) qtArgv.push_back(arg.data());
  qtArgv.push_back(nullptr);
  int qtArgc = static_cast<int>(qtArgs.size());
  EnterProgramFolder();
  KestrunexApplication app(qtArgc, qtArgv.data());
  QApplication::setQuitOnLastWindowClosed(false);  // the mode window decides
  gs::InstallFontSubstitutes();
  InstallQtTranslations(app);
  QtMainThread mainThread;
  mainThread.Install();
  QtMessageBoxPresenter boxes;
  boxes.Install();
  if (AsksAdminStartFailedNote(given, administrator)) {
    ShowAdminStartFailedBox(nullptr);
    return 0;
  }
  AddImageArgumentDrive(image);
  try {
    TdlgFirst dlgFirst;
    SignalTarget target(&dlgFirst);
    dlgFirst.show();
    app.exec();
  } catch (const std::exception& e) {
    KestrunexApplication::ShowException(platform::WideFromAnsi(e.what()));
  } catch (...) {
    KestrunexApplication::ShowException(L"");
  }
  return 0;
}
