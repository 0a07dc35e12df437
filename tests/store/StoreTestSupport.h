#pragma once

#include "common/StoreFixture.h"

namespace vesk::test {

using StoreTest = StoreFixture;

} // namespace vesk::test
