# Installation and the Debian packages. `make install` (PREFIX, DESTDIR) and
# `make package` use what is declared here, in two components, one package
# each, as Debian splits such programs:
#   norvale (amd64)
#     games/                      norvale (the demo, as Debian keeps games)
#     bin/                        norvale-render, norvale-datagen (command-line tools)
#     share/applications, share/icons/hicolor, share/metainfo, share/man
#     share/doc/norvale           copyright, changelog.gz
#   norvale-data (all): what is the same on every architecture
#     share/norvale/              settings.ui, norvale.bmp, data/ (generated)
#     share/doc/norvale-data      copyright, changelog.gz
include(GNUInstallDirs)
set(NORVALE_VERSION 1.0.0)
set(NORVALE_APP_ID org.norvale.Norvale)
set(NORVALE_GAMES_DIR games)
set(CMAKE_INSTALL_DEFAULT_COMPONENT_NAME norvale)

# The installed programs find their dialog template and data beside
# themselves; from the build folder they use the source tree. games/ and bin/
# lie at the same depth, so one relative path serves both.
file(RELATIVE_PATH NORVALE_SHARE_FROM_BIN /prefix/${CMAKE_INSTALL_BINDIR}
  /prefix/${CMAKE_INSTALL_DATADIR}/norvale)
file(RELATIVE_PATH games_share /prefix/${NORVALE_GAMES_DIR} /prefix/${CMAKE_INSTALL_DATADIR}/norvale)
if(NOT games_share STREQUAL NORVALE_SHARE_FROM_BIN)
  message(FATAL_ERROR "games/ and ${CMAKE_INSTALL_BINDIR}/ must lie at the same depth")
endif()
set_source_files_properties(${CMAKE_SOURCE_DIR}/src/setup/shell_files.cpp PROPERTIES
  COMPILE_DEFINITIONS "NORVALE_SHARE_FROM_BIN=\"${NORVALE_SHARE_FROM_BIN}\";NORVALE_SOURCE_DIR=\"${CMAKE_SOURCE_DIR}\";NORVALE_BUILD_DIR=\"${CMAKE_BINARY_DIR}\"")

install(TARGETS norvale RUNTIME DESTINATION ${NORVALE_GAMES_DIR})
install(TARGETS norvale-render norvale-datagen RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The package strips as dh_strip does: the .comment and .note sections too.
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    foreach(program ${NORVALE_GAMES_DIR}/norvale ${CMAKE_INSTALL_BINDIR}/norvale-render
                    ${CMAKE_INSTALL_BINDIR}/norvale-datagen)
      execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/\${program}\" COMMAND_ERROR_IS_FATAL ANY)
    endforeach()
  endif()
")
install(FILES res/settings.ui res/norvale.bmp DESTINATION ${CMAKE_INSTALL_DATADIR}/norvale
  COMPONENT data)
# data/ is made by the build (the norvale_data target).
install(DIRECTORY ${CMAKE_SOURCE_DIR}/data/ DESTINATION ${CMAKE_INSTALL_DATADIR}/norvale/data
  COMPONENT data
  FILES_MATCHING PATTERN "*.jpg" PATTERN "*.tga" PATTERN "*.fnt" PATTERN "*.mp3")

# The icons were made once from res/norvale.bmp with ImageMagick: -resize for
# 16 and 48, as is for 32, -scale (whole pixels) for 64, 128 and 256.
foreach(size 16 32 48 64 128 256)
  install(FILES res/icons/${size}x${size}/${NORVALE_APP_ID}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

configure_file(res/${NORVALE_APP_ID}.metainfo.xml
  ${CMAKE_BINARY_DIR}/${NORVALE_APP_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/${NORVALE_APP_ID}.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The menu entry names the program and starts it in share/norvale, so the
# data/ it reads first is the installed one. Those paths are only known at
# install time (make install with its PREFIX, or /usr in the package), so the
# entry is written then.
install(CODE "
  set(NORVALE_GAMES \"\${CMAKE_INSTALL_PREFIX}/${NORVALE_GAMES_DIR}\")
  set(NORVALE_SHARE \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/norvale\")
  configure_file(\"${CMAKE_SOURCE_DIR}/res/${NORVALE_APP_ID}.desktop.in\"
    \"${CMAKE_BINARY_DIR}/installed/${NORVALE_APP_ID}.desktop\" @ONLY)
  file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/applications\"
    TYPE FILE FILES \"${CMAKE_BINARY_DIR}/installed/${NORVALE_APP_ID}.desktop\")
")

# Man pages, compressed as Debian keeps them.
set(NORVALE_MAN_PAGES norvale.6 norvale-render.1 norvale-datagen.1)
foreach(page ${NORVALE_MAN_PAGES})
  set(gz ${CMAKE_BINARY_DIR}/man/${page}.gz)
  add_custom_command(OUTPUT ${gz}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND gzip -9nc ${CMAKE_SOURCE_DIR}/res/man/${page} > ${gz}
    DEPENDS ${CMAKE_SOURCE_DIR}/res/man/${page})
  list(APPEND NORVALE_MAN_GZ ${gz})
  string(REGEX REPLACE ".*\\." "" section ${page})
  install(FILES ${gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
endforeach()
add_custom_target(norvale_man ALL DEPENDS ${NORVALE_MAN_GZ})

# The licence as Debian keeps it (machine-readable), the changelog of this
# native package, and why the games section holds two programs in bin/.
set(changelog_gz ${CMAKE_BINARY_DIR}/doc/changelog.gz)
add_custom_command(OUTPUT ${changelog_gz}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/doc
  COMMAND gzip -9nc ${CMAKE_SOURCE_DIR}/res/debian/changelog > ${changelog_gz}
  DEPENDS ${CMAKE_SOURCE_DIR}/res/debian/changelog)
add_custom_target(norvale_changelog ALL DEPENDS ${changelog_gz})
install(FILES res/debian/copyright ${changelog_gz} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/norvale)
install(FILES res/debian/copyright ${changelog_gz}
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/norvale-data COMPONENT data)
install(FILES res/debian/lintian-overrides RENAME norvale
  DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides)

# The Debian packages: norvale_<version>_amd64.deb, its library dependencies
# computed from the binaries by dpkg-shlibdeps, and norvale-data_<version>_all.deb,
# which it needs at exactly its own version.
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL norvale data)
set(CPACK_PACKAGE_NAME norvale)
set(CPACK_PACKAGE_VERSION ${NORVALE_VERSION})
set(CPACK_PACKAGE_CONTACT "Norvale developers <packages@norvale.org>")
set(CPACK_DEBIAN_NORVALE_PACKAGE_NAME norvale)
set(CPACK_DEBIAN_NORVALE_DESCRIPTION "real-time audiovisual demo with five 3D scenes timed to music
After a small settings dialog, an OpenGL window shows an intro logo
with its jingle, then about three and a half minutes of five 3D scenes
timed to the soundtrack. Includes norvale-render (headless capture to PNG,
WAV or video) and norvale-datagen (makes the demo's data).")
set(CPACK_DEBIAN_DATA_PACKAGE_NAME norvale-data)
set(CPACK_DEBIAN_DATA_PACKAGE_ARCHITECTURE all)
set(CPACK_DEBIAN_DATA_DESCRIPTION "data for the Norvale audiovisual demo
The textures, height map, font, logo, intro jingle and soundtrack the
Norvale demo reads, and its settings dialog. They are the same on every
architecture, so they come in a package of their own.")
# Staged through DESTDIR, so the install step sees the final prefix /usr,
# which the menu entry names.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)  # the build keeps its debugging information, the package does not
# A demo is kept as Debian keeps games: section games, the program in
# /usr/games with its page in section 6 of the manual. The capture tool and
# the data generator are plain commands with section 1 pages, in /usr/bin,
# on every PATH (root's too); the override says so to lintian.
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_NORVALE_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so dpkg-shlibdeps cannot see them: the renderer's EGL
# platform and GL driver are Mesa's; the data generator draws with DejaVu.
set(CPACK_DEBIAN_NORVALE_PACKAGE_DEPENDS "norvale-data (= ${NORVALE_VERSION}), \
libegl-mesa0, libgl1-mesa-dri, fonts-dejavu-core, fonts-dejavu-extra")
set(CPACK_DEBIAN_NORVALE_PACKAGE_RECOMMENDS "ffmpeg")
include(CPack)

# install: both packages, their contents extracted into a scratch root and
# run from there (the menu entry and metadata validate, the renderer
# captures pictures and sound from the installed data, the dialog shows),
# then installed and removed with apt when the test runs as root.
add_test(NAME install.package
  COMMAND bash ${CMAKE_SOURCE_DIR}/tests/install/package_test.sh
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
set_tests_properties(install.package PROPERTIES LABELS install TIMEOUT 600 SKIP_RETURN_CODE 77
  ENVIRONMENT "NORVALE_SOURCE=${CMAKE_SOURCE_DIR};NORVALE_BUILD=${CMAKE_BINARY_DIR};X11_PROBE=$<TARGET_FILE:x11_probe>")
