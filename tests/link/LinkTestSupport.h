#pragma once
// Device records for the link tests: a named 40-pin part of the family.
#include <cstdint>

#include "support/RecordImage.h"

namespace tesmar::test {

inline RecordImage linkRecord(char family, std::int8_t algorithm = 0) {
    return RecordImage(family).algorithm(algorithm).name("TEST").pinCount(40);
}

}  // namespace tesmar::test
