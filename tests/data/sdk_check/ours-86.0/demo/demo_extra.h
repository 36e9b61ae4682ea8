#pragma once
#error "demo/demo_extra.h is not in the SDK at 86.0"
