// Process-wide twiddle and reordering tables for the spectral built-ins, built once.
#pragma once

namespace vormlek {

// Builds the tables on the first call in the process; later calls find them ready.
void EnsureSpectralTables() noexcept;

}  // namespace vormlek
