#pragma once

namespace common {

// Whether this processor runs AVX2 code; false on other than x86-64. Asked once, then
// remembered, so hot loops may call it for each block.
bool hasAvx2();

}  // namespace common
