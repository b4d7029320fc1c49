// Must not compile: kestrand's rooms cannot see trailscan's headers.
#include "kestrand/reports/engine.h"
#include "trailscan/log/channel.h"
