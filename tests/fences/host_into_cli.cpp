// Through the host library's view: its own headers, but not the CLI's.
#include "host/cli/settings.h"
#include "host/filter_host.h"
