#pragma once
#include <dolphin/dolphin.h>

#include <vector>

#include "host/time.h"

namespace host {

class Runtime;

struct DeedRecord {
    Nanos time = 0;
    DolphinDeed deed = DolphinDeedMAX;
};

/// The dolphin service of the host runtime: the record "dolphin", which keeps every deed the apps
/// report. Without it dolphin_deed still checks its argument and logs the deed, but keeps nothing.
/// Construct on a platform thread after the Runtime; destroy before it.
///     host::DolphinService dolphin(runtime);
///     ... run the app ...
///     EXPECT_EQ(dolphin.deeds(), (std::vector<DolphinDeed>{DolphinDeedNfcRead}));
class DolphinService {
public:
    explicit DolphinService(Runtime& runtime);
    ~DolphinService();
    DolphinService(const DolphinService&) = delete;
    DolphinService& operator=(const DolphinService&) = delete;

    std::vector<DolphinDeed> deeds() const;
    std::vector<DeedRecord> records() const;
    void clear();

    struct State;

private:
    State* state_;
};

} // namespace host
