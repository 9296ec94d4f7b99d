#pragma once

// The heap section of the platform layer, for the host's process.
namespace zorva::plugin::platform {

// Keeps freed blocks of up to 16 MiB, and as much free memory at the top of
// each heap, for the next allocations instead of handing them back to the
// system at once. An upload frees and allocates blocks of its piece's size
// for every piece; given back each time, each came back as fresh pages that
// the kernel first zeroes. What the host holds for good stays as much as it
// had in use at its peak; the WebSocket module still gives everything back
// once its last connection ends.
void keepFreedMemoryForReuse();

}  // namespace zorva::plugin::platform
