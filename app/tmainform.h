#pragma once
// TMainForm: the main wizard window. Its pages are panels shown one at a
// time: 0 the source drive, 1 the USB target, 4 the ISO folder, 2 the run.
// The page sequence per mode is 0, 1, 2 (USB) or 0, 4, 2 (ISO); 15 means
// "no page of the sequence" (the run page has been left by Next).
//
// The window is also the run's window handle: the worker posts WM_OPSTATE
// and sends WM_OPIMAGES to it (handled in order on the window's thread) and
// reports the end through RunResultView. It owns the size thread and the
// last run's worker with its settings record.
//
// Files: tmainform.cpp (design and construction), mainformpages.cpp (pages,
// Next, Back, closing), sourcechecks.cpp, targetchecks.cpp, runprogress.cpp.

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <functional>
#include <atomic>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/pagepanel.h"
#include "app/skinpictures.h"
#include "app/thddvdsize.h"
#include "app/wizardwindow.h"
#include "pipeline/runresultview.h"
#include "pipeline/runsetup.h"
#include "pipeline/win7inscreator.h"
#include "pipeline/win7operatinfo.h"
#include "platform/windows/window.h"
#include "verify/productcheck.h"

class TdlgFirst;
class TOperationThd;

class TMainForm final : public WizardWindow, public platform::Window, public RunResultView {
 public:
  static constexpr int kNoPage = 15;
  static constexpr int kTagStep = 1;
  static constexpr int kTagLeftRun = 2;

  explicit TMainForm(TdlgFirst& owner);
  ~TMainForm() override;

  // Called before the window is made visible: the mode and its first page.
  void SetMode(int mode);
  // ShowPage(m_CurPage), then visible.
  void FormShow();
  void ShowPage(int id);

  void btnNextClick();
  void btnBackClick();
  void btnRefreshClick() { RefreshUsbList(); }

  // Source and target checks. The list is filled again with the drive of
  // root chosen (the first when root is empty or not listed).
  void RefreshDvdList(const std::wstring& root = {});
  void cmbDVDlistChange();
  void OnDvdSelected();
  // "Open an ISO image": the file chosen becomes an optical drive, chosen.
  void btnOpenImageClick();
  void Timer1Timer();
  void RefreshUsbList();
  void cmbUsbListChange();
  void btnBrowserClick();
  std::wstring BrowseFolder(const std::wstring& title);

  // The run.
  void StartRun();
  void OnOpState(platform::WPARAM wParam, platform::LPARAM lParam);
  void OnOpImages(platform::LPARAM lParam);

  // platform::Window: posted messages are handled in order on the window's
  // thread; a sent message waits for its handler.
  bool Post(platform::UINT message, platform::WPARAM wParam, platform::LPARAM lParam) override;
  platform::LRESULT Send(platform::UINT message, platform::WPARAM wParam, platform::LPARAM lParam) override;

  // A terminal's Ctrl+C, SIGTERM or SIGHUP (window thread): cancels a run as
  // the Cancel button does and ends the program once it has reported; ends
  // the program at once when no run is going on.
  void OnTerminalSignal();

  // RunResultView
  std::wstring StatusText() const override;
  void SetStatusText(const std::wstring& text) override;
  void ShowResult(int result) override;

  // What the run page asks of the machine and the user that tests and the
  // program supply differently: the host folder picker (empty: cancelled),
  // the rights to format a disk, the measurement of a source in MiB.
  using FolderPicker = std::function<QString(const QString& title)>;
  void SetFolderPicker(FolderPicker picker) { m_folderPicker = std::move(picker); }
  // The source page's disc image picker (host path; empty: cancelled).
  void SetImagePicker(FolderPicker picker) { m_imagePicker = std::move(picker); }
  void SetAdminCheck(std::function<bool()> check) { m_hasAdminRights = std::move(check); }
  // Whether a chosen root is a partition of a USB disk (default:
  // IsUsbStickPartition on the machine's drive model).
  void SetUsbTargetCheck(std::function<bool(const std::wstring&)> check) { m_isUsbTarget = std::move(check); }
  void SetDvdMeasure(ThdDvdSize::Measure measure) { m_pDvdSizeThd->SetMeasure(std::move(measure)); }
  // The operations of later runs (empty: the real steps).
  void SetOperationFactory(Win7InsCreator::Factory factory) { m_operationFactory = std::move(factory); }

  // State, for the windows that hand over and for tests.
  int CurPage() const { return m_CurPage; }
  int DlgType() const { return m_DlgType; }
  int DvdSizeMB() const { return m_DvdSizeMB; }
  std::int64_t UsbSizeMB() const { return m_UsbSizeMB; }
  const std::wstring& SourcePath() const { return m_SourcePath; }
  const std::wstring& TargetPath() const { return m_TargetPath; }
  const std::wstring& TmpPath() const { return m_Setup.workFolder; }
  bool SizeReady() const { return m_pDvdSizeThd->SizeReady(); }
  // The Close command: greyed on the run page and while the source is measured.
  bool CloseEnabled() const { return m_pageAllowsClose && !m_measuring; }
  int NextTag() const { return m_nextTag; }
  TOperationThd* OperationThd() const { return m_pOperationThd.get(); }
  const std::vector<PagePanel*>& Panels() const { return m_Panels; }

  struct Controls {
    QLabel* lblNote;
    PagePanel* panSelectDVD;
    QLabel *Label2, *Label3, *lblDVDTitle, *lblWait;
    QComboBox* cmbDVDlist;
    QPushButton* btnOpenImage;  // under the list: an ISO file as a drive
    PagePanel* panSelectUsb;
    QLabel *Label4, *Label5, *Label6;
    QLabel* lblUsbWhy;  // under the list: why the entry chosen cannot be used
    QComboBox* cmbUsbList;
    PagePanel* panMainScreen;
    QLabel *lblScreenTitle, *Label1, *lblPercent, *Label7, *lblStatus, *lblState;
    QLabel* lblTargetState;  // after a cancel or failure: what the target holds now
    QProgressBar* pbDism;
    PagePanel* Panel_DstISO;
    QLabel *Label10, *Label11, *Label_USBODD;
    QLineEdit* EdtISOPathdst;
    QCheckBox* CheckBox_USBODD;
    QTimer* Timer1;
    gs::GsButton *m_pNext, *m_pBack, *m_pBrowseFolder, *m_pRefresh;
  };
  const Controls& ui() const { return m_ui; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildDesign();
  void MakeButtons();
  void ApplyLanguageLayout();
  void HideAllPages();
  void ShowPanel(PagePanel* panel);
  bool ConfirmFormat();
  // Source page Next: the chosen source is a Windows 7 medium, else a box
  // names what is missing and the page stays.
  bool AcceptSourceMedium();
  // Before the format question: the chosen drive is a partition of a USB
  // disk, else "This is not a USB disk/flash.".
  bool AcceptUsbTarget();
  void SetCloseEnabled(bool enabled) { m_pageAllowsClose = enabled; }
  void SetNextCaption(const std::wstring& text);
  std::wstring NextCaption() const;
  int PositionInSequence(int page) const;
  void SetNextEnabledForUsb();
  void OnMeasuring(bool busy);
  void EndWithSpaceWarning();
  // The read-back check the worker runs before the result is shown.
  void InstallProductCheck();

  TdlgFirst& m_owner;
  Controls m_ui{};
  RefreshPictures m_refresh;

  std::vector<PagePanel*> m_Panels;
  int m_CurPage = kNoPage;
  std::wstring m_SourcePath;
  std::wstring m_TargetPath;
  int m_DlgType = 0;
  int m_DvdSizeMB = 0;
  std::int64_t m_UsbSizeMB = 0;
  RunSetup m_Setup;  // the current run's folders, removed at its end
  std::set<int> m_statesSeen;  // the run's WM_OPSTATE states, for the target's state
  std::shared_ptr<std::atomic<bool>> m_checkCancelled = std::make_shared<std::atomic<bool>>(false);
  std::unique_ptr<ThdDvdSize> m_pDvdSizeThd;
  // The last run: its record lives as long as its worker (declared first,
  // so it goes after the worker).
  std::unique_ptr<WIN7_OPERAT_INFO> m_pInfo;
  std::unique_ptr<ProductCheck> m_pProductCheck;
  std::unique_ptr<TOperationThd> m_pOperationThd;
  bool m_runActive = false;   // from StartRun until ShowResult
  bool m_endAfterRun = false;  // a terminal signal came: no finish question
  int m_DismSteps = 3;
  bool m_cmbDVDlistTag = false;
  int m_nextTag = kTagStep;
  bool m_pageAllowsClose = true;
  bool m_measuring = false;

  FolderPicker m_folderPicker;
  FolderPicker m_imagePicker;
  Win7InsCreator::Factory m_operationFactory;
  std::function<bool()> m_hasAdminRights;
  std::function<bool(const std::wstring&)> m_isUsbTarget;
};
