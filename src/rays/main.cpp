// rays: thick coloured rays fanning out from near the top-left corner.
#include "rays/form1.h"
#include "runtime/window_runtime.h"

#include <cstdio>

int main() {
    try {
        runtime::WindowRuntime window(rays::Form1::kDescription);
        rays::Form1 form(window);
        return window.run(form);
    } catch (const runtime::RuntimeError& error) {
        std::fprintf(stderr, "rays: run-time error: %s\n", error.what());
        return 1;
    }
}
