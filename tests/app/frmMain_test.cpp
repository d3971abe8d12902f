#include "frmMain.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fake_services.h"
#include "mock_registry_api.h"
#include "recording_runtime.h"

namespace vidazoz {
namespace {

using ::testing::_;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::NiceMock;
using ::testing::Return;
using testing::FakeServices;
using testing::MockRegistryApi;
using testing::RecordingRuntime;

// A registry in which no policy key exists.
RegistryFactory EmptyRegistry() {
  return [] {
    auto api = std::make_shared<NiceMock<MockRegistryApi>>();
    ON_CALL(*api, RegOpenKeyExA(_, _, _, _, _)).WillByDefault(Return(ERROR_FILE_NOT_FOUND));
    return std::make_unique<cRegistry>(api);
  };
}

struct Started {
  explicit Started(system::ModuleHandle shell32 = 0x7c9c0000, RegistryFactory registry = EmptyRegistry())
      : form(runtime, services, std::move(registry)) {
    services.loadResult = shell32;
    runtime.Run(form);
    runtime.calls.clear();
    services.calls.clear();
  }
  RecordingRuntime runtime;
  FakeServices services;
  frmMain form;
};

TEST(frmMainStartUp, InitialisesBeforeTheControlsExistAndShowsFiveControls) {
  RecordingRuntime runtime;
  FakeServices services;
  frmMain form(runtime, services, EmptyRegistry());
  runtime.Run(form);

  EXPECT_THAT(services.calls, ElementsAre("LoadLibraryA shell32.dll", "InitCommonControls"));
  EXPECT_THAT(runtime.calls, ElementsAre("Initialize", "Create"));
  EXPECT_EQ(form.hShell32(), services.loadResult);
  EXPECT_THAT(runtime.VisibleControls(), ElementsAre("picLogo", "LabResult", "LineSep1", "cmdExit", "btnCheck"));
  EXPECT_EQ(runtime.FormHeight(), frmMain::kHeightShown);
  EXPECT_EQ(runtime.State(frmMain::LabResult).caption,
            "Click The 'Check' Button To Check If .Net Framework 2.0 Is Installed!");
}

// The runtime creates the controls in the form's tab order and only buttons take the focus.
TEST(frmMainStartUp, TabWalksEveryControlOnceStoppingAtCheckThenExitAndCheckHasTheFocus) {
  Started s;
  const std::span<const runtime::ControlId> order = s.form.TabOrder();
  EXPECT_EQ(order.size(), frmMain::kControlCount);
  std::vector<std::string_view> stops;
  for (runtime::ControlId id : order) {
    if (s.form.Controls()[id].kind == runtime::ControlKind::Button) stops.push_back(s.form.Controls()[id].name);
  }
  EXPECT_THAT(stops, ElementsAre("btnCheck", "cmdExit"));
  EXPECT_EQ(s.form.FirstFocus(), frmMain::btnCheck);
}

TEST(frmMainCheck, PutsTheVerdictOnTheControlsInOrder) {
  Started s;
  s.runtime.ClickOn(frmMain::btnCheck);
  EXPECT_THAT(s.runtime.calls, ElementsAre("caption LabResult You DO NOT Have The .Net Framework 2.0 Installed!",
                                           "colour LabResult 255", "bold LabResult 1", "visible LnkDwn 1",
                                           "visible imgDwn 1"));
  EXPECT_THAT(s.runtime.VisibleControls(),
              ElementsAre("picLogo", "LabResult", "LineSep1", "imgDwn", "LnkDwn", "cmdExit", "btnCheck"));
}

TEST(frmMainCheck, AFailingRegistryIsReportedInTheErrorBoxAndTheDisplayStays) {
  Started s(0x7c9c0000, []() -> std::unique_ptr<cRegistry> { throw Error(7, "test", "Out of memory"); });
  s.runtime.ClickOn(frmMain::btnCheck);
  EXPECT_THAT(s.runtime.messages,
              ElementsAre("There Was An Error Accessing The Registry, This Could Be Due To User Account "
                          "Restrictions|16|Vidazoz"));
  EXPECT_THAT(s.runtime.VisibleControls(), ElementsAre("picLogo", "LabResult", "LineSep1", "cmdExit", "btnCheck"));
}

TEST(frmMainAbout, EveryPressShowsAndEveryReleaseHidesWhateverTheButton) {
  Started s;
  s.runtime.Press(frmMain::picLogo, 2);
  EXPECT_THAT(s.runtime.calls, ElementsAre("visible LinAbout 1", "visible labAbout 1", "height 2085"));
  s.runtime.calls.clear();
  s.runtime.Release(frmMain::picLogo, 2);
  EXPECT_THAT(s.runtime.calls, ElementsAre("visible LinAbout 0", "visible labAbout 0", "height 1665"));

  // A second button pressed and released while the first is still held: the release hides.
  s.runtime.Press(frmMain::picLogo, 1);
  s.runtime.Press(frmMain::picLogo, 4);
  s.runtime.Release(frmMain::picLogo, 4);
  EXPECT_FALSE(s.runtime.State(frmMain::labAbout).visible);
  EXPECT_FALSE(s.runtime.State(frmMain::LinAbout).visible);
  EXPECT_EQ(s.runtime.FormHeight(), 1665);
}

TEST(frmMainAbout, AnyNumberOfPairsLeavesTheStartHeightAndTheVerdictAlone) {
  Started s;
  s.runtime.ClickOn(frmMain::btnCheck);
  const auto verdict = s.runtime.State(frmMain::LabResult);
  for (int i = 0; i < 7; ++i) {
    s.runtime.Press(frmMain::picLogo);
    EXPECT_EQ(s.runtime.FormHeight(), 2085);
    s.runtime.Release(frmMain::picLogo);
  }
  EXPECT_EQ(s.runtime.FormHeight(), 1665);
  EXPECT_EQ(s.runtime.State(frmMain::LabResult).caption, verdict.caption);
  EXPECT_EQ(s.runtime.State(frmMain::LabResult).foreColour, verdict.foreColour);
  EXPECT_TRUE(s.runtime.State(frmMain::LnkDwn).visible);
  EXPECT_TRUE(s.runtime.State(frmMain::imgDwn).visible);
}

TEST(frmMainShutdown, ExitEndsAtOnceWithoutTheUnloadStep) {
  Started s;
  s.runtime.Press(frmMain::picLogo);
  s.runtime.ClickOn(frmMain::cmdExit);
  EXPECT_TRUE(s.runtime.Ended());
  EXPECT_THAT(s.services.calls, IsEmpty());
}

TEST(frmMainShutdown, ClosingFreesTheLibraryOnceEvenWhenTheLoadFailed) {
  for (system::ModuleHandle handle : {system::ModuleHandle{0x7c9c0000}, system::ModuleHandle{0}}) {
    Started s(handle);
    s.runtime.Close();
    EXPECT_THAT(s.services.calls, ElementsAre("FreeLibrary " + std::to_string(handle)));
    EXPECT_FALSE(s.runtime.Ended());
  }
}

}  // namespace
}  // namespace vidazoz
