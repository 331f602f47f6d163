// A runtime that records each operation a form asks of it, for tests.
#pragma once

#include "form/form_runtime.h"
#include "form/random.h"

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

struct Operation {
    std::string name;
    double a = 0, b = 0, c = 0, d = 0, e = 0, f = 0;
};

struct Line {
    int flags;
    float x1, y1, x2, y2;
    runtime::Colour colour;
    int palette_index; // the index last looked up before the line
};

class RecordingRuntime : public runtime::FormRuntime {
public:
    explicit RecordingRuntime(std::uint64_t seed = 1) : m_random(seed) {}

    runtime::Status set_window_state(int state) override { return record("window state", state); }
    runtime::Status set_fill_style(int style) override { return record("fill style", style); }
    runtime::Status set_fill_colour(runtime::Colour colour) override {
        return record("fill colour", colour);
    }
    runtime::Status set_pen_width(int pixels) override { return record("pen width", pixels); }
    runtime::Status clear() override { return record("clear", 0); }
    runtime::Status draw_line(int flags, float x1, float y1, float x2, float y2,
                              runtime::Colour colour) override {
        lines.push_back({flags, x1, y1, x2, y2, colour, last_palette_index});
        return record("draw line", flags, x1, y1, x2, y2, colour);
    }

    void randomize() override { operations.push_back({"randomize"}); }
    float next_random() override {
        const float r = m_random.next();
        randoms.push_back(r);
        operations.push_back({"next random", r});
        return r;
    }
    runtime::Colour palette(std::int16_t index) override {
        last_palette_index = index;
        operations.push_back({"palette", static_cast<double>(index)});
        return runtime::palette_colour(index);
    }
    void end() override { operations.push_back({"end"}); ended = true; }

    // The next operation named `name` answers with a failure.
    void fail_next(std::string name) { m_fail = std::move(name); }

    std::vector<Operation> operations;
    std::vector<Line> lines;
    std::vector<float> randoms;
    int last_palette_index = -1;
    bool ended = false;

private:
    runtime::Status record(const char* name, double a, double b = 0, double c = 0, double d = 0,
                           double e = 0, double f = 0) {
        operations.push_back({name, a, b, c, d, e, f});
        if (m_fail == name) {
            m_fail.clear();
            return runtime::Status::failure("refused by the test");
        }
        return runtime::Status::ok();
    }

    runtime::Random m_random;
    std::string m_fail;
};

} // namespace testing_support
