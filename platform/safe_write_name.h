// The temporary's name, shared by the two system halves of SafeWrite: they
// bring the clock and process bits, this builds the name from them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qf {

// A few well-mixed bits for the temporary's name: `systemBits` (the clock
// and the process) with `salt` (the writer), `attempt` and a process-wide
// serial, so that two writers of one target never pick the same name.
uint32_t temporaryNameBits(uint64_t systemBits, const void* salt, uint32_t attempt);

// Writes "<folder>.qf-XXXXXXXX<extension>" to `out`: the first
// `folderLength` bytes of `target`, the eight hex digits of `bits`, and the
// target's extension when it is short (ten bytes with the dot at the most).
// False, with `out` untouched, when it needs `room` bytes or more.
bool temporaryName(char* out, size_t room, const char* target, size_t folderLength, uint32_t bits);

} // namespace qf
