// config.xml's isshoweula decides whether the licence window comes between
// the mode window and the main window. Built twice: into the wizard tests
// (the shipped config.xml, 1) and into a program folder whose config.xml
// says 0 (KX_SHOW_EULA 0), so no test edits a file another test reads.

#include "wizardtest.h"

namespace wiztest {
namespace {

#if KX_SHOW_EULA
using LicenceWindowOn = WizardTest;
#define KX_LICENCE_FIXTURE LicenceWindowOn
#else
using LicenceWindowOff = WizardTest;
#define KX_LICENCE_FIXTURE LicenceWindowOff
#endif

TEST_F(KX_LICENCE_FIXTURE, NextOnTheModeWindowShowsTheLicenceOnlyWhenTheConfigurationAsks) {
  const bool configured =
      kxtest::ReadHostFile(ProgramFolder() / "config.xml").find("<isshoweula>0</isshoweula>") == std::string::npos;
  ASSERT_EQ(configured, KX_SHOW_EULA != 0) << "the program folder of this test is not prepared";
  ChooseMode(1);
  EXPECT_EQ(Eula().isVisible(), configured);
  EXPECT_EQ(Main().isVisible(), !configured);
  EXPECT_FALSE(First().isVisible());
  if (!configured) {
    EXPECT_EQ(Main().DlgType(), 1);
    EXPECT_EQ(Main().CurPage(), 0);
  }
}

}  // namespace
}  // namespace wiztest
