// Golden screens for the GUI core tests: tests/data/golden/gui_core/<name>.png.
// Rewrite them deliberately with UPDATE_GOLDEN=1.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "host/screen.h"

namespace gui_core_test {

inline std::string golden_path(const std::string& name) {
    return std::string(TEST_DATA_DIR) + "/golden/gui_core/" + name + ".png";
}

inline void expect_golden(const host::Screen& screen, const std::string& name) {
    const host::GoldenResult result = host::check_golden(screen, golden_path(name));
    EXPECT_TRUE(result.ok) << result.message;
}

} // namespace gui_core_test
