// Must not compile: trailscan's rooms cannot see kestrand's headers. Its own header comes
// first, so the build shows it reachable before it fails on the other's.
// clang-format off
#include "trailscan/log/channel.h"
#include "kestrand/reports/engine.h"
// clang-format on
