// Must not compile: trailscan's rooms cannot see kestrand's headers.
#include "trailscan/log/channel.h"
#include "kestrand/reports/engine.h"
