// The scripting descriptor: how a recorded action hands the fourteen pattern
// settings to us and how we hand them back at finish.
#pragma once

#include <cstdint>

#include "plugin/host_api.h"

// The keys in the order the descriptor carries them, ended by 0. Writable:
// the host may change the list it is given.
extern DescriptorKeyID descriptorKeys[15];

// GLnn / Hs0n / Ht0n from a number; numbers outside the enumeration's range
// give "<NO>".
uint32_t glueEnumValue(int32_t glue);
uint32_t shapeEnumValue(int32_t shape);
uint32_t stripeKindEnumValue(int32_t kind);
// The number an enumeration value stands for, 0 when it is not one of ours.
int32_t enumNumber(uint32_t prefix, int32_t limit, uint32_t value);

bool descriptorSuitesAvailable();
bool descriptorPresent();

// Reads the host's descriptor into the settings record and decides from the
// play mode whether the dialog is shown.
void readDescriptor();
// Writes the fourteen settings into a new descriptor for the host.
void writeDescriptor();
