#pragma once
// TdlgFirst: the mode window, the application's main window. It explains
// the tool and lets the user choose what to build (mode 0: a bootable USB
// disk, 1: an ISO image). It owns the licence window and the main wizard
// window, made hidden in its constructor; all three live until the program
// ends and are only shown and hidden. Closing this window ends the program.

#include <QComboBox>

#include <memory>

#include "app/skinpictures.h"
#include "app/wizardwindow.h"

class TdlgEULA;
class TMainForm;

class TdlgFirst final : public WizardWindow {
 public:
  TdlgFirst();
  ~TdlgFirst() override;

  // The hidden skin pictures every window's buttons are made from.
  const SkinPictures& Skin() const { return m_skin; }
  TdlgEULA& dlgEULA() { return *m_dlgEULA; }
  TMainForm& MainForm() { return *m_MainForm; }

  // Ends the program: every window hidden, the message loop told to end.
  void EndProgram();
  bool ProgramEnded() const { return m_ended; }

  QComboBox* cmbMode() const { return m_cmbMode; }
  gs::GsButton* NextButton() const { return m_pNext; }
  QLabel* lblNote() const { return m_lblNote; }
  QLabel* lblDesc() const { return m_lblDesc; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void cmbModeChange();
  void NextClick();

  SkinPictures m_skin;
  QLabel* m_lblDesc = nullptr;
  QLabel* m_Label6 = nullptr;
  QComboBox* m_cmbMode = nullptr;
  QLabel* m_lblNote = nullptr;
  gs::GsButton* m_pNext = nullptr;
  std::unique_ptr<TdlgEULA> m_dlgEULA;
  std::unique_ptr<TMainForm> m_MainForm;
  bool m_ended = false;
};
