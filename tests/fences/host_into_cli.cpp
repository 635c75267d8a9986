// Through the host library's view: its own headers, but not the CLI's.
#include "host/filter_host.h"

// (Must stay second: the first include proves the view is there.)
#include "host/cli/settings.h"
