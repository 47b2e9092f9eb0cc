#pragma once
// TdlgEULA: the licence window. The user must tick "I agree" before Next
// leads on to the main window; Back returns to the mode window; closing it
// ends the program. The licence text is read once, when the window is made:
// the file config.xml names for the display language, else the English one.

#include <QCheckBox>
#include <QPlainTextEdit>

#include <string>

#include "app/wizardwindow.h"
#include "src/gui/widget/GsWidget/gsbutton.h"

class TdlgFirst;

class TdlgEULA final : public WizardWindow {
 public:
  explicit TdlgEULA(TdlgFirst& owner);

  // The mode to hand on to the main window (1 until set).
  void SetMode(int mode) { m_Mode = mode; }
  int Mode() const { return m_Mode; }
  // Shows the window: "I agree" unticked, the heading set afresh.
  void ShowWindow();

  // The licence file's lines as the memo shows them; empty when there is
  // none, it is no regular file, or it is over 4 MiB.
  static QString ReadLicenceText(const std::wstring& path);
  // The text of a licence file's bytes: by its byte-order mark (UTF-8,
  // UTF-16 either order), else the ANSI code page; line ends as line feeds,
  // no empty last line.
  static QString DecodeLicenceText(const QByteArray& bytes);

  QCheckBox* CheckBox1() const { return m_CheckBox1; }
  QPlainTextEdit* EULAMemo() const { return m_EULAMemo; }
  QLabel* Label1() const { return m_Label1; }
  gs::GsButton* NextButton() const { return m_pNext; }
  gs::GsButton* BackButton() const { return m_pBack; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  // Alt+F4 that reaches the window itself is discarded.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void LoadLicence();
  void NextClick();
  void BackClick();

  TdlgFirst& m_owner;
  QLabel* m_Label1 = nullptr;
  QLabel* m_Label2 = nullptr;
  QPlainTextEdit* m_EULAMemo = nullptr;
  QCheckBox* m_CheckBox1 = nullptr;
  gs::GsButton* m_pBack = nullptr;
  gs::GsButton* m_pNext = nullptr;
  int m_Mode = 1;
};
