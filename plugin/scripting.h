// The scripting descriptor: how a recorded action hands the fourteen pattern
// settings to us and how we hand them back at finish.
#pragma once

#include <array>
#include <cstdint>

#include "plugin/host_api.h"
#include "values/scripting_terms.h"

namespace qf {

// The keys in the order the descriptor carries them, ended by 0. Writable:
// the host may change the list it is given.
extern std::array<DescriptorKeyID, kScriptingKeys.size() + 1> descriptorKeys;

struct ModuleCall;

// Whether the call's host offers both descriptor suites whole.
bool descriptorSuitesAvailable(const ModuleCall& call);
bool descriptorPresent(const ModuleCall& call);

// Reads the host's descriptor into the call's settings record (and an export
// request of our own host into the call's request) and decides from the play
// mode whether the dialog is shown.
void readDescriptor(ModuleCall& call);
// Writes the fourteen settings into a new descriptor for the host.
void writeDescriptor(ModuleCall& call);

} // namespace qf
