#include "cli_common.h"
#include "frontend_links.h"

namespace fsim {

int run_scenario_file(sim::AppSession&, const std::filesystem::path&, bool) {
    throw RunError("scenario files are not supported yet");
}

} // namespace fsim
