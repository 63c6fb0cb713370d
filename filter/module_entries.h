#pragma once

#include "base/class_factory.h"

namespace halvaris::filter {

// The decoder module's creatable classes: the filter (with its registration data) and its page.
const dshow::FactoryTable& DecoderFactoryTable();

}  // namespace halvaris::filter
