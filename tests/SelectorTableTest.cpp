// When a selector's coupling applies: by the targeted series, the direction of the change
// and the state of its guard.

#include "composer/SelectorTable.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TTargetVersions Targets(std::set<uint8_t> series) {
  TTargetVersions targets;
  for (uint8_t s : series) targets.AddDeviceVersion(s);
  return targets;
}

TEST(SelectorTableTest, CouplingsApplyForTheirSeriesAndChanges) {
  using enum TCouplingTargets;
  using enum TCouplingEdge;
  struct Case {
    TCoupling Coupling;
    std::set<uint8_t> Series;
    bool Ticked;
    bool GuardTicked;
    bool Applies;
  };
  const Case cases[] = {
      {{AnyLegacy, Both, "", {}}, {1}, true, false, true},
      {{AnyLegacy, Both, "", {}}, {4, 5}, false, false, true},
      {{AnyLegacy, Both, "", {}}, {5}, true, false, false},
      {{Series4, Both, "", {}}, {4}, true, false, true},
      {{Series4, Both, "", {}}, {3, 5}, true, false, false},
      {{Series4Or5, Both, "", {}}, {5}, false, false, true},
      {{Series4Or5, Both, "", {}}, {1, 2, 3}, true, false, false},
      {{Always, Both, "", {}}, {}, true, false, true},
      {{Always, Unticked, "", {}}, {2}, false, false, true},
      {{Always, Unticked, "", {}}, {2}, true, false, false},
      {{Always, Ticked, "", {}}, {4}, true, false, true},
      {{Always, Ticked, "", {}}, {4}, false, false, false},
      {{AnyLegacy, Both, "selMethodWrite", {}}, {2}, true, true, true},
      {{AnyLegacy, Both, "selMethodWrite", {}}, {2}, true, false, false},
      {{AnyLegacy, Both, "selMethodWrite", {}}, {5}, true, true, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CouplingApplies(c.Coupling, Targets(c.Series), c.Ticked, c.GuardTicked), c.Applies)
        << static_cast<int>(c.Coupling.Targets) << " " << static_cast<int>(c.Coupling.Edge) << " " << c.Ticked;
}

TEST(SelectorTableTest, EverySelectorHasASeriesARowAndKnownFollowers) {
  std::set<std::string> names;
  for (const TSelectorRule& rule : SelectorRules()) {
    EXPECT_TRUE(names.insert(rule.Name).second) << rule.Name;
    EXPECT_EQ(rule.Name.rfind("sel", 0), 0u) << rule.Name;
    EXPECT_GE(rule.Tag, 1) << rule.Name;
    EXPECT_LE(rule.Tag, 5) << rule.Name;
    EXPECT_FALSE(rule.Row.empty()) << rule.Name;
    EXPECT_EQ(FindSelectorRule(rule.Name), &rule);
    for (const TCoupling& coupling : rule.Couplings)
      for (const std::string& follower : coupling.Followers) {
        const TSelectorRule* followed = FindSelectorRule(follower);
        ASSERT_NE(followed, nullptr) << follower;
        // A follower is offered wherever the coupling applies: its series is no higher.
        if (coupling.Targets == TCouplingTargets::AnyLegacy) {
          EXPECT_LE(followed->Tag, 4) << follower;
        }
      }
  }
  EXPECT_EQ(names.size(), 75u);
  EXPECT_EQ(FindSelectorRule("cbMethodWrite"), nullptr);
}

}  // namespace
