// Owning handles for cairo objects.
#pragma once

#include <cairo.h>

#include <memory>

namespace runtime {

struct CairoDeleter {
    void operator()(cairo_t* cr) const { cairo_destroy(cr); }
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};

using CairoContext = std::unique_ptr<cairo_t, CairoDeleter>;
using CairoSurface = std::unique_ptr<cairo_surface_t, CairoDeleter>;

} // namespace runtime
