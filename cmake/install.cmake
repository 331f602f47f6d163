# What `cmake --install` puts in place: the two programs, and what a desktop
# needs to offer rays in its menus (entry, icons), a software centre needs to
# list it (metainfo), and the manual pages.
include(GNUInstallDirs)

install(TARGETS rays rays-render RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES ${PROJECT_SOURCE_DIR}/data/rays.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

# The sizes of data/icons; the 48 px one is also built into the program.
set(RAYS_ICON_SIZES 16x16 32x32 48x48 64x64 128x128 256x256)
foreach(size IN LISTS RAYS_ICON_SIZES)
  install(FILES ${PROJECT_SOURCE_DIR}/data/icons/${size}/rays.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}/apps)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/data/icons/scalable/rays.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# What software centres list: the AppStream metainfo, named after its id.
set(RAYS_APPSTREAM_ID example.c_seed_a8423912.rays)
install(FILES ${PROJECT_SOURCE_DIR}/data/${RAYS_APPSTREAM_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

install(FILES ${PROJECT_SOURCE_DIR}/man/rays.1 ${PROJECT_SOURCE_DIR}/man/rays-render.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
