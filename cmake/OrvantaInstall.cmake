# What `cmake --install` puts where (GNUInstallDirs): the two programs, the language file, the
# desktop entry, icons and AppStream data, the manual pages and the shell completion. PXMisc
# installs itself (pxmisc/cmake/PXMiscInstall.cmake). Targets are named here, not in their own
# folders, so that moving a program's sources does not move its installation.
include(GNUInstallDirs)

set(ORVANTA_PROGRAMS orvanta orvanta-cli)
set(ORVANTA_DIST ${PROJECT_SOURCE_DIR}/dist)

# The programs find libpxmisc relative to their own place, so a tree installed under any prefix
# (or copied elsewhere whole) works without LD_LIBRARY_PATH. A distribution package, whose
# library lies in the system's search path, turns this off.
option(ORVANTA_INSTALL_RPATH "Let the installed programs find libpxmisc relative to themselves" ON)
if(ORVANTA_INSTALL_RPATH)
    file(RELATIVE_PATH ORVANTA_BIN_TO_LIB ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
    set_target_properties(${ORVANTA_PROGRAMS} PROPERTIES INSTALL_RPATH "$ORIGIN/${ORVANTA_BIN_TO_LIB}")
    # orvanta-cli's player module lies in a folder of the library folder, one below libpxmisc.
    set_target_properties(orvanta-cli-play PROPERTIES INSTALL_RPATH "$ORIGIN/..")
endif()
install(TARGETS ${ORVANTA_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime)

# The window program looks for it beside itself and in ../share/orvanta (app/Application.cpp);
# the pictures are built into the program.
install(FILES ${PROJECT_SOURCE_DIR}/res/strings.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/orvanta COMPONENT Runtime)

install(FILES ${ORVANTA_DIST}/orvanta.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT Runtime)
install(FILES ${ORVANTA_DIST}/example.orvanta.Orvanta.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT Runtime)
install(FILES ${ORVANTA_DIST}/icons/orvanta.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT Runtime)
foreach(size 16 22 24 32 48 64 128 256)
    install(FILES ${ORVANTA_DIST}/icons/${size}/orvanta.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps COMPONENT Runtime)
endforeach()
install(FILES ${ORVANTA_DIST}/orvanta-cli.bash-completion
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
    RENAME orvanta-cli COMPONENT Runtime)

# Manual pages and the change log go in compressed, without a time stamp, as Debian wants them.
find_program(ORVANTA_GZIP gzip REQUIRED)
function(orvanta_compressed source output)
    add_custom_command(OUTPUT ${output}
        COMMAND ${ORVANTA_GZIP} -9nc ${source} > ${output}
        DEPENDS ${source} VERBATIM)
    set_property(GLOBAL APPEND PROPERTY ORVANTA_COMPRESSED ${output})
endfunction()
file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/man)
foreach(page orvanta orvanta-cli)
    orvanta_compressed(${ORVANTA_DIST}/man/${page}.1 ${CMAKE_CURRENT_BINARY_DIR}/man/${page}.1.gz)
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/man/${page}.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT Runtime)
endforeach()
orvanta_compressed(${ORVANTA_DIST}/debian/changelog ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
get_property(compressed GLOBAL PROPERTY ORVANTA_COMPRESSED)
add_custom_target(orvanta_compressed_files ALL DEPENDS ${compressed})
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz ${ORVANTA_DIST}/debian/copyright
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/orvanta COMPONENT Runtime)
