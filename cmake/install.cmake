# What `cmake --install` puts in place: the two programs, and what a desktop
# needs to offer rays in its menus (entry, icons) and among its screen savers,
# a software centre needs to list it (metainfo), and the manual pages.
include(GNUInstallDirs)

install(TARGETS rays rays-render RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES ${PROJECT_SOURCE_DIR}/data/rays.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

# What screen savers list: the entry the MATE and Xfce screen savers read,
# and the hack description of xscreensaver-settings.
install(FILES ${PROJECT_SOURCE_DIR}/data/screensavers/rays.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications/screensavers)
install(FILES ${PROJECT_SOURCE_DIR}/data/xscreensaver/rays.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/xscreensaver/config)

# The MATE and Xfce screen savers run a program only from the directories
# they search for hacks, never from PATH: a link to rays in the one Debian
# and Fedora use, relative, so that it holds wherever the tree is unpacked.
set(RAYS_HACK_DIR libexec/xscreensaver CACHE STRING
    "Where screen savers look for their programs, under the prefix (lib/xscreensaver on Arch)")
install(CODE "set(RAYS_LINK_BINDIR [[${CMAKE_INSTALL_BINDIR}]])
set(RAYS_LINK_HACK_DIR [[${RAYS_HACK_DIR}]])")
install(SCRIPT ${PROJECT_SOURCE_DIR}/cmake/hack_link.cmake)

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
