// The number of processors the worker pool may use.
#pragma once

namespace qf {

// The processors available to this process (its affinity on Linux), at
// least 1.
int processorCount();

} // namespace qf
