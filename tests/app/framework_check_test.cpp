#include "framework_check.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

#include "mock_registry_api.h"

namespace vidazoz {
namespace {

using ::testing::_;
using ::testing::ElementsAre;
using ::testing::Invoke;
using ::testing::NiceMock;
using ::testing::Return;
using testing::FakeKey;
using testing::MockRegistryApi;

// Records every display call in order, as text.
class RecordingDisplay : public VerdictDisplay {
 public:
  void SetResultCaption(const std::string& c) override { Record("caption:" + c); }
  void SetResultColour(Colour c) override { Record("colour:" + std::to_string(c)); }
  void SetResultBold(bool b) override { Record(std::string("bold:") + (b ? "1" : "0")); }
  void SetDownloadLinkVisible(bool v) override { Record(std::string("link:") + (v ? "1" : "0")); }
  void SetDownloadImageVisible(bool v) override { Record(std::string("image:") + (v ? "1" : "0")); }
  void ShowMessage(const std::string& text, std::int32_t style, const std::string& title) override {
    calls.push_back("message:" + text + "|" + std::to_string(style) + "|" + title);
  }

  std::vector<std::string> calls;
  std::string failOn;  // a call whose text starts with this throws, as a failing control would

 private:
  void Record(const std::string& call) {
    if (!failOn.empty() && call.starts_with(failOn)) throw std::runtime_error("control refused " + call);
    calls.push_back(call);
  }
};

// A registry in which the given policy keys exist; every open is counted.
class PolicyRegistry {
 public:
  explicit PolicyRegistry(std::set<std::string> present, std::set<std::string> denied = {})
      : api(std::make_shared<NiceMock<MockRegistryApi>>()) {
    ON_CALL(*api, RegOpenKeyExA(_, _, _, _, _))
        .WillByDefault(Invoke([this, present, denied](HKEY hive, LPCSTR path, DWORD, REGSAM sam, PHKEY out) {
          opened.emplace_back(path);
          EXPECT_EQ(hive, HKEY_LOCAL_MACHINE);
          EXPECT_EQ(sam, KEY_QUERY_VALUE);
          if (denied.contains(path)) return ERROR_ACCESS_DENIED;
          if (!present.contains(path)) return ERROR_FILE_NOT_FOUND;
          *out = FakeKey(0x1000);
          return ERROR_SUCCESS;
        }));
    ON_CALL(*api, RegCloseKey(_)).WillByDefault(Invoke([this](HKEY) {
      ++closed;
      return ERROR_SUCCESS;
    }));
  }

  RegistryFactory Factory() {
    return [this] {
      ++created;
      return std::make_unique<cRegistry>(api);
    };
  }

  std::shared_ptr<NiceMock<MockRegistryApi>> api;
  std::vector<std::string> opened;
  int created = 0;
  int closed = 0;
};

const std::string kV20 = "SOFTWARE\\Microsoft\\.NETFramework\\policy\\v2.0";
const std::string kV11 = "SOFTWARE\\Microsoft\\.NETFramework\\policy\\v1.1";
const std::string kV10 = "SOFTWARE\\Microsoft\\.NETFramework\\policy\\v1.0";

std::vector<std::string> Shown(const std::string& caption, Colour colour, bool offer) {
  const std::string o = offer ? "1" : "0";
  return {"caption:" + caption, "colour:" + std::to_string(colour), "bold:1", "link:" + o, "image:" + o};
}

struct Outcome {
  std::set<std::string> present;
  std::vector<std::string> probed;
  std::vector<std::string> display;
};

TEST(FrameworkCheck, EachOutcomeProbesNewestFirstAndStopsAtTheFirstKeyFound) {
  const std::vector<Outcome> outcomes = {
      {{kV20, kV11, kV10}, {kV20}, Shown("The .Net Framework 2.0 Is Installed On Your Computer!", 32768, false)},
      {{kV11, kV10}, {kV20, kV11}, Shown("You Have An Old Version Of The .Net Framework Installed!", 33023, true)},
      {{kV10}, {kV20, kV11, kV10}, Shown("You Have An Old Version Of The .Net Framework Installed!", 33023, true)},
      {{}, {kV20, kV11, kV10}, Shown("You DO NOT Have The .Net Framework 2.0 Installed!", 255, true)},
  };
  for (const Outcome& o : outcomes) {
    PolicyRegistry registry(o.present);
    RecordingDisplay display;
    const Verdict* found = RunFrameworkCheck(display, registry.Factory());
    ASSERT_NE(found, nullptr);
    EXPECT_EQ("caption:" + std::string(found->caption), display.calls.front()) << "it returns what it showed";
    EXPECT_EQ(registry.opened, o.probed);
    EXPECT_EQ(display.calls, o.display);
    EXPECT_EQ(registry.created, 1) << "one registry object serves every probe";
    EXPECT_EQ(registry.api.use_count(), 1) << "the registry object is released";
    EXPECT_EQ(registry.closed, o.present.empty() ? 0 : 1) << "every opened key is closed";
  }
}

TEST(FrameworkCheck, AKeyThatCannotBeOpenedForQueryingCountsAsAbsentWithoutAMessage) {
  PolicyRegistry registry({kV20, kV11}, {kV20});
  RecordingDisplay display;
  RunFrameworkCheck(display, registry.Factory());
  EXPECT_THAT(registry.opened, ElementsAre(kV20, kV11));
  EXPECT_EQ(display.calls, Shown("You Have An Old Version Of The .Net Framework Installed!", 33023, true));
}

TEST(FrameworkCheck, EveryPressProbesAgainAndALaterVerdictReplacesTheEarlierOne) {
  std::set<std::string> present;
  auto api = std::make_shared<NiceMock<MockRegistryApi>>();
  int opens = 0;
  ON_CALL(*api, RegOpenKeyExA(_, _, _, _, _)).WillByDefault(Invoke([&](HKEY, LPCSTR path, DWORD, REGSAM, PHKEY out) {
    ++opens;
    if (!present.contains(path)) return ERROR_FILE_NOT_FOUND;
    *out = FakeKey(0x1000);
    return ERROR_SUCCESS;
  }));
  auto factory = [&] { return std::make_unique<cRegistry>(api); };
  RecordingDisplay display;

  RunFrameworkCheck(display, factory);
  RunFrameworkCheck(display, factory);
  EXPECT_EQ(opens, 6);
  present.insert(kV20);
  RunFrameworkCheck(display, factory);
  EXPECT_EQ(opens, 7);

  auto red = Shown("You DO NOT Have The .Net Framework 2.0 Installed!", 255, true);
  auto green = Shown("The .Net Framework 2.0 Is Installed On Your Computer!", 32768, false);
  std::vector<std::string> expected = red;
  expected.insert(expected.end(), red.begin(), red.end());
  expected.insert(expected.end(), green.begin(), green.end());
  EXPECT_EQ(display.calls, expected);
}

const std::string kErrorMessage =
    "message:There Was An Error Accessing The Registry, This Could Be Due To User Account Restrictions|16|Vidazoz";

TEST(FrameworkCheck, AnErrorWhileProbingShowsTheMessageAndLeavesTheDisplayAsItWas) {
  PolicyRegistry registry({kV11});
  RecordingDisplay display;
  RunFrameworkCheck(display, registry.Factory());  // orange
  const auto before = display.calls;

  // The second probe raises (as a platform out of memory would), after the first answered.
  EXPECT_CALL(*registry.api, RegOpenKeyExA(_, _, _, _, _))
      .WillOnce(Return(ERROR_FILE_NOT_FOUND))
      .WillOnce(Invoke([](HKEY, LPCSTR, DWORD, REGSAM, PHKEY) -> LONG { throw RuntimeError(errnum::OutOfMemory); }));
  EXPECT_EQ(RunFrameworkCheck(display, registry.Factory()), nullptr) << "no verdict was found";

  auto expected = before;
  expected.push_back(kErrorMessage);
  EXPECT_EQ(display.calls, expected);
  EXPECT_EQ(registry.api.use_count(), 1) << "the registry object is released on the error path too";
}

TEST(FrameworkCheck, AnErrorOnTheFirstPressLeavesTheInitialDisplayUntouched) {
  RecordingDisplay display;
  RunFrameworkCheck(display, []() -> std::unique_ptr<cRegistry> { throw RuntimeError(errnum::OutOfMemory); });
  EXPECT_THAT(display.calls, ElementsAre(kErrorMessage));
}

TEST(FrameworkCheck, AControlThatFailsMidDisplayKeepsWhatWasAlreadyShown) {
  PolicyRegistry registry({});
  RecordingDisplay display;
  display.failOn = "link:";
  EXPECT_EQ(RunFrameworkCheck(display, registry.Factory()), nullptr) << "the verdict was not shown in full";
  EXPECT_THAT(display.calls, ElementsAre("caption:You DO NOT Have The .Net Framework 2.0 Installed!", "colour:255",
                                         "bold:1", kErrorMessage));
  EXPECT_EQ(registry.api.use_count(), 1);
}

}  // namespace
}  // namespace vidazoz
