# Which shape of libweston's private input functions the test seat module
# declares, judged by what the public header of the libweston found declares,
# and whether that libweston exports every function the module names (the
# module, linked as a program, leaves no symbol undefined).
# Sets RAYS_TEST_SEAT_MODULE_SHAPE to the macro the module is built with, or
# leaves it empty and says why.
include(CheckCSourceCompiles)
include(CMakePushCheckState)
enable_language(C)
string(MAKE_C_IDENTIFIER "${LIBWESTON_MODULE_NAME}" weston)
pkg_check_modules(WAYLAND_SERVER REQUIRED IMPORTED_TARGET wayland-server)

cmake_push_check_state(RESET)
set(CMAKE_REQUIRED_LIBRARIES PkgConfig::LIBWESTON PkgConfig::WAYLAND_SERVER)
set(CMAKE_REQUIRED_QUIET ON)
check_c_source_compiles("#include <libweston/libweston.h>
int main(void) { struct weston_input_event event; (void)event; return 0; }" RAYS_${weston}_INPUT_EVENTS)
check_c_source_compiles("#include <libweston/libweston.h>
int main(void) { struct weston_coord_global pos; (void)pos; return 0; }" RAYS_${weston}_COORDS)
if(RAYS_${weston}_INPUT_EVENTS)
  set(shape RAYS_WESTON_INPUT_EVENTS)
elseif(RAYS_${weston}_COORDS)
  set(shape RAYS_WESTON_COORDS)
else()
  set(shape RAYS_WESTON_PLAIN)
endif()
set(CMAKE_REQUIRED_DEFINITIONS -D_GNU_SOURCE -D${shape})
check_c_source_compiles("#include \"${CMAKE_CURRENT_LIST_DIR}/seat_module.c\"
int main(void) { return 0; }" RAYS_${weston}_EXPORTS_SEAT_FUNCTIONS)
cmake_pop_check_state()

if(RAYS_${weston}_EXPORTS_SEAT_FUNCTIONS)
  set(RAYS_TEST_SEAT_MODULE_SHAPE ${shape})
  message(STATUS "Test seat module: ${LIBWESTON_MODULE_NAME} ${LIBWESTON_VERSION}, ${shape}")
else()
  message(WARNING "The test seat module does not build or link with ${LIBWESTON_MODULE_NAME} "
                  "${LIBWESTON_VERSION} (${shape}): the Wayland end-to-end tests will skip")
endif()
