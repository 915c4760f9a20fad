# Installs PXMisc for programs of its own: the library (runtime component), and its headers,
# pkg-config file and CMake package (development component) so that a program outside this
# tree builds against it with `pkg-config --cflags --libs pxmisc` or `find_package(PXMisc)`.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(PXMISC_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/PXMisc)

install(TARGETS pxmisc EXPORT PXMiscTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        COMPONENT Runtime NAMELINK_COMPONENT Development)
install(DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/include/pxmisc
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT Development)

install(EXPORT PXMiscTargets NAMESPACE PXMisc:: DESTINATION ${PXMISC_CMAKE_DIR}
    COMPONENT Development)
configure_package_config_file(${CMAKE_CURRENT_SOURCE_DIR}/cmake/PXMiscConfig.cmake.in
    ${CMAKE_CURRENT_BINARY_DIR}/PXMiscConfig.cmake INSTALL_DESTINATION ${PXMISC_CMAKE_DIR})
# The major number is the library's SOVERSION: a new major breaks its users.
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/PXMiscConfigVersion.cmake
    VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/PXMiscConfig.cmake
    ${CMAKE_CURRENT_BINARY_DIR}/PXMiscConfigVersion.cmake
    DESTINATION ${PXMISC_CMAKE_DIR} COMPONENT Development)

# The pkg-config file names the prefix relative to its own place, so a copied tree still works.
file(RELATIVE_PATH PXMISC_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig
    ${CMAKE_INSTALL_PREFIX})
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/cmake/pxmisc.pc.in
    ${CMAKE_CURRENT_BINARY_DIR}/pxmisc.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/pxmisc.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT Development)
