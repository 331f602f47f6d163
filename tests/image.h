// A canvas on a plain pixel buffer, for looking at what was drawn.
#pragma once

#include "draw/canvas.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace testing_support {

struct Image {
    Image(int w, int h, double dpi = 96.0) : width(w), height(h), pixels(std::size_t(w) * h), canvas(dpi) {
        EXPECT_FALSE(canvas.attach(pixels.data(), w, h, w * 4).failed());
        EXPECT_FALSE(canvas.clear().failed());
        canvas.take_damage();
    }
    runtime::Colour at(int x, int y) const { return pixels[std::size_t(y) * width + x] & 0xFFFFFF; }

    int width, height;
    std::vector<std::uint32_t> pixels;
    runtime::Canvas canvas;
};

} // namespace testing_support
