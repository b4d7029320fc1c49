#include "common/processor.h"

namespace common {

bool hasAvx2() {
#if defined(__x86_64__) && defined(__GNUC__)
    static const bool supported = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return supported;
#else
    return false;
#endif
}

}  // namespace common
