#include "download_link.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>

#include "fake_services.h"
#include "frmMain.h"
#include "recording_runtime.h"
#include "system/posix/posix_services.h"
#include "temp_dir.h"

namespace vidazoz {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::FakeServices;
using testing::RecordingRuntime;

const std::string kAddress = "http://www.dodivezozu.com/support/dotnetfx_redirect.htm";
const std::string kFailure = "There Was An Error Accessing The Url!, Instead GoTo " + kAddress + "|16|Vidazoz";

struct Window {
  explicit Window(system::SystemServices& services) : form(runtime, services, nullptr) { runtime.Run(form); }
  RecordingRuntime runtime;
  frmMain form;
};

TEST(DownloadLink, AClickOnEitherControlRecoloursTheLinkThenOpensTheAddressOwnedByTheWindow) {
  for (auto control : {frmMain::LnkDwn, frmMain::imgDwn}) {
    FakeServices services;
    Window w(services);
    services.calls.clear();
    w.runtime.calls.clear();
    w.runtime.ClickOn(control);
    EXPECT_THAT(w.runtime.calls, ElementsAre("colour LnkDwn 255", "colour LnkDwn 12417299"));
    EXPECT_THAT(services.calls,
                ElementsAre("ShellExecuteA " + std::to_string(w.runtime.handle) + " Open " + kAddress + " [] [] 1"));
    EXPECT_THAT(w.runtime.messages, IsEmpty());
  }
}

TEST(DownloadLink, AnyButtonOnTheImageRecoloursTheLinkNotTheImage) {
  FakeServices services;
  Window w(services);
  w.runtime.Press(frmMain::imgDwn, 2);
  EXPECT_EQ(w.runtime.State(frmMain::LnkDwn).foreColour, 255u);
  EXPECT_EQ(w.runtime.State(frmMain::imgDwn).foreColour, runtime::kDefaultColour);
  w.runtime.Release(frmMain::imgDwn, 2);
  EXPECT_EQ(w.runtime.State(frmMain::LnkDwn).foreColour, 12417299u);
  EXPECT_THAT(services.calls, ElementsAre("LoadLibraryA shell32.dll", "InitCommonControls")) << "no click, no call";
}

TEST(DownloadLink, AnUnreachableShellOrWindowShowsTheFailureMessageOnEitherControl) {
  for (auto control : {frmMain::LnkDwn, frmMain::imgDwn}) {
    FakeServices services;
    services.shellUnreachable = true;
    Window w(services);
    w.runtime.ClickOn(control);
    EXPECT_THAT(w.runtime.messages, ElementsAre(kFailure));

    FakeServices fine;
    Window noHandle(fine);
    noHandle.runtime.failHandle = true;
    noHandle.runtime.ClickOn(control);
    EXPECT_THAT(noHandle.runtime.messages, ElementsAre(kFailure));
  }
}

TEST(DownloadLink, AFailureTheShellReportsInItsResultShowsNoMessage) {
  FakeServices services;
  services.shellResult = 2;  // file not found
  Window w(services);
  w.runtime.ClickOn(frmMain::LnkDwn);
  w.runtime.ClickOn(frmMain::LnkDwn);
  EXPECT_THAT(w.runtime.messages, IsEmpty());
  EXPECT_EQ(std::count_if(services.calls.begin(), services.calls.end(),
                          [](const std::string& c) { return c.starts_with("ShellExecuteA"); }),
            2) << "every click opens again";
}

// With the real Linux services: what xdg-open receives, and the message when there is none.
class XdgOpen : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(bin_);
    path_ = std::make_unique<testing::ScopedEnv>("PATH", bin_.string());
  }
  void InstallRecorder() {
    const auto script = bin_ / "xdg-open";
    std::ofstream(script) << "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$@\" > " << (dir_.Path() / "args.tmp").string()
                          << " && /bin/mv " << (dir_.Path() / "args.tmp").string() << " "
                          << (dir_.Path() / "args").string() << "\n";
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
  }
  std::string RecordedArgs() {
    const auto file = dir_.Path() / "args";
    for (int i = 0; i < 500 && !std::filesystem::exists(file); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::ifstream in(file);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  testing::TempDir dir_{"vidazoz-xdg"};
  std::filesystem::path bin_ = dir_.Path() / "bin";
  std::unique_ptr<testing::ScopedEnv> path_;
  system::PosixServices services_;
};

TEST_F(XdgOpen, TheClickHandsExactlyTheAddressToXdgOpen) {
  InstallRecorder();
  // Also in a program that ignores SIGCHLD, where a child's exit status cannot be waited for.
  for (const auto disposition : {SIG_DFL, SIG_IGN}) {
    const auto previous = std::signal(SIGCHLD, disposition);
    std::filesystem::remove(dir_.Path() / "args");
    Window w(services_);
    w.runtime.ClickOn(frmMain::imgDwn);
    EXPECT_EQ(RecordedArgs(), "1\n" + kAddress + "\n") << (disposition == SIG_IGN ? "SIGCHLD ignored" : "");
    EXPECT_THAT(w.runtime.messages, IsEmpty()) << (disposition == SIG_IGN ? "SIGCHLD ignored" : "");
    std::signal(SIGCHLD, previous);
  }
}

TEST_F(XdgOpen, WithoutXdgOpenTheMessageNamesTheAddressTheClickOpens) {
  Window w(services_);
  w.runtime.ClickOn(frmMain::LnkDwn);
  ASSERT_THAT(w.runtime.messages, ElementsAre(kFailure));

  InstallRecorder();
  w.runtime.ClickOn(frmMain::LnkDwn);
  const std::string opened = RecordedArgs();
  ASSERT_TRUE(opened.starts_with("1\n")) << opened;
  const std::string shown = w.runtime.messages.front();
  EXPECT_NE(shown.find(" GoTo " + opened.substr(2, opened.size() - 3) + "|"), std::string::npos)
      << shown << " vs " << opened;
}

}  // namespace
}  // namespace vidazoz
