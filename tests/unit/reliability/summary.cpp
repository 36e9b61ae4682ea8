// One line per category of the campaign when the program ends, e.g.
//     module faults: 312 cases, 0 failed
// tools/reliability_report.sh reads these lines.
#include <cstdio>

#include "campaign.h"

namespace reliability {
namespace {

class Summary : public ::testing::Environment {
public:
    void TearDown() override {
        if(tally().empty()) return;
        std::printf("[ campaign ] cases per category:\n");
        for(const auto& [category, count] : tally())
            std::printf("%s: %d cases, %d failed\n", category.c_str(), count.cases, count.failed);
        std::fflush(stdout);
    }
};

[[maybe_unused]] testing::Environment* const summary =
    testing::AddGlobalTestEnvironment(new Summary);

} // namespace
} // namespace reliability
