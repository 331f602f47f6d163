# Run by `cmake --install`: links rays into the screen savers' hack
# directory. RAYS_LINK_BINDIR and RAYS_LINK_HACK_DIR are set before, each
# relative to the prefix or absolute.
foreach(dir RAYS_LINK_BINDIR RAYS_LINK_HACK_DIR)
  if(NOT IS_ABSOLUTE "${${dir}}")
    set(${dir} "${CMAKE_INSTALL_PREFIX}/${${dir}}")
  endif()
endforeach()
file(RELATIVE_PATH target "${RAYS_LINK_HACK_DIR}" "${RAYS_LINK_BINDIR}/rays")
set(link "$ENV{DESTDIR}${RAYS_LINK_HACK_DIR}/rays")
message(STATUS "Installing: ${link} -> ${target}")
file(MAKE_DIRECTORY "$ENV{DESTDIR}${RAYS_LINK_HACK_DIR}")
file(CREATE_LINK "${target}" "${link}" SYMBOLIC)
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${RAYS_LINK_HACK_DIR}/rays")
