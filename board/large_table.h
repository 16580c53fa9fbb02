#pragma once
// Memory for the large probed tables (transposition and pawn tables).

#include <cstddef>

// Zeroed memory for a table of `bytes`, released with std::free; nullptr when unavailable.
// A table of 2 MB or more is placed on 2 MB pages where the system offers them: its probes
// land at random, and with small pages nearly every one would also miss the address cache.
void* AllocateZeroedTable(size_t bytes);
