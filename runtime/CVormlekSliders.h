// The slider table: slider k of a script lives at entry k. Introduces the first hook, DoSlider.
#pragma once

#include <array>

#include "runtime/CVormlekVeST.h"
#include "runtime/Numeric.h"
#include "runtime/SharedValues.h"

class CVormlekSliders : public CVormlekVeST {
public:
    static constexpr int kSliderCount = 128;

    virtual void DoSlider() {}

    // Script code indexing the table by a computed number: index rounding, then the low 7 bits.
    // Host threads share the entries: access them through the SharedValues functions.
    double& SliderAt(double computedIndex) noexcept {
        return sliderValues[static_cast<std::size_t>(vormlek::RoundIndex(computedIndex) & (kSliderCount - 1))];
    }

    std::array<double, kSliderCount> sliderValues{};

protected:
    CVormlekSliders() = default;
    ~CVormlekSliders() = default;
};
