// Element-wise products of blocks of complex values in script memory.
#include "runtime/ComplexVectors.h"
#include "runtime/Transforms.h"

namespace vormlek {
namespace {

using namespace vectors;

template <typename Product>
void ComplexProduct(CVormlekMemory& memory, std::int32_t destination, std::int32_t left, std::int32_t right,
                    std::int32_t count, Product product) {
    const std::int32_t values = count - count % 2;
    if (values <= 0) return;
    double* const out = memory.MemoryRun(destination, 2 * values);
    const double* const a = memory.MemoryRun(left, 2 * values);
    const double* const b = memory.MemoryRun(right, 2 * values);
    if (out == nullptr || a == nullptr || b == nullptr) return;
    for (std::int32_t i = 0; i < 2 * values; i += 2) {
        const Cx x = Load<Cx>(a + i), y = Load<Cx>(b + i);
        Store(out + i, product(Load<Cx>(out + i), Times(x, y)));
    }
}

}  // namespace

void ComplexMultiply(CVormlekMemory& memory, std::int32_t destination, std::int32_t source, std::int32_t count) {
    ComplexProduct(memory, destination, destination, source, count, [](Cx, Cx product) { return product; });
}

void ComplexMultiplyInto(CVormlekMemory& memory, std::int32_t destination, std::int32_t left, std::int32_t right,
                         std::int32_t count) {
    ComplexProduct(memory, destination, left, right, count, [](Cx, Cx product) { return product; });
}

void ComplexMultiplyAdd(CVormlekMemory& memory, std::int32_t destination, std::int32_t left, std::int32_t right,
                        std::int32_t count) {
    ComplexProduct(memory, destination, left, right, count, [](Cx old, Cx product) { return old + product; });
}

}  // namespace vormlek
