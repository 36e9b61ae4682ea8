#pragma once
// The page's files, built into the program from sim/web/page/ (cmake/embed_files.cmake).

#include <vector>

#include "server.h"

namespace sim::web {

/// index.html at "/", every other file at "/<its name>".
std::vector<Asset> page_assets();

} // namespace sim::web
