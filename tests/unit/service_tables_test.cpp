// The service tables as start-up assembles them from every subsystem's rows.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "host/host_services.h"
#include "services/gate.h"

namespace velmora {
namespace {

struct GroupShape {
  uint8_t group;
  int functions;                     // 0: the group runs one service, or none
  std::set<int> empty = {};          // functions the tables leave doing nothing, beyond function 0
  bool whole_group_service = false;  // for groups without a function table
};

// Group 7 function 70 is no service.
const std::set<int> kSystemEmpty = {70};

const GroupShape kGroups[] = {
    {.group = 0, .functions = 0},
    {.group = 1, .functions = 0},
    {.group = 2, .functions = 0, .whole_group_service = true},
    {.group = 3, .functions = 80},
    {.group = 4, .functions = 0},
    {.group = 5, .functions = 39},
    {.group = 6, .functions = 0},
    {.group = 7, .functions = 109, .empty = kSystemEmpty},
    {.group = 8, .functions = 0},
    {.group = 9, .functions = 29},
    {.group = 10, .functions = 0},
    {.group = 11, .functions = 0, .whole_group_service = true},
    {.group = 12, .functions = 0, .whole_group_service = true},
    {.group = 13, .functions = 0, .whole_group_service = true},
};

TEST(ServiceTables, EveryRowHasItsOwnEntryAndOnlyTheDocumentedEntriesAreEmpty) {
  std::string problem;
  ASSERT_TRUE(InstallServiceTables(&problem)) << problem;
  for (const GroupShape& g : kGroups) {
    SCOPED_TRACE("group " + std::to_string(g.group));
    if (g.functions == 0) {
      EXPECT_EQ(ServiceName(g.group, 0) != nullptr, g.whole_group_service);
      continue;
    }
    EXPECT_EQ(ServiceName(g.group, 0), nullptr);
    EXPECT_EQ(ServiceName(g.group, uint8_t(g.functions)), nullptr);
    for (int f = 1; f < g.functions; ++f)
      EXPECT_EQ(ServiceName(g.group, uint8_t(f)) == nullptr, g.empty.count(f) == 1) << f;
  }
  EXPECT_EQ(ServiceName(14, 0), nullptr);
}

void Nothing() {}

TEST(ServiceTables, RowsThatCannotBeInstalledAreRefused) {
  const ServiceRow kBad[][2] = {
      {{3, 5, Nothing, "a"}, {3, 5, Nothing, "b"}},  // one entry claimed twice
      {{2, kAnyFunction, Nothing, "a"}, {2, kAnyFunction, Nothing, "b"}},
      {{3, 0, Nothing, "a"}, {3, 1, Nothing, "b"}},   // function 0 does nothing
      {{3, 80, Nothing, "a"}, {3, 1, Nothing, "b"}},  // beyond the table
      {{14, kAnyFunction, Nothing, "a"}, {3, 1, Nothing, "b"}},
      {{11, 1, Nothing, "a"}, {3, 1, Nothing, "b"}},  // group 11 has no function table
      {{7, 1, nullptr, "a"}, {3, 1, Nothing, "b"}},
  };
  for (const auto& rows : kBad) {
    ClearServiceTables();
    std::string problem;
    EXPECT_FALSE(InstallServices(rows, &problem)) << rows[0].group << "." << rows[0].function;
    EXPECT_NE(problem.find("service row"), std::string::npos);
  }
  InstallAllServices();
}

}  // namespace
}  // namespace velmora
