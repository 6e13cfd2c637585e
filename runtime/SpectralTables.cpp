#include "runtime/SpectralTables.h"

namespace vormlek {

void EnsureSpectralTables() noexcept {}

}  // namespace vormlek
