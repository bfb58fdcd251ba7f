# What `cmake --install` puts under the prefix: libquorvel.so with its
# version and SONAME, the public headers (with the generated Version.h), the
# quorvel tool (with quorvel-core beside it) and its man page, the CMake
# package (find_package(Quorvel) giving Quorvel::quorvel, with a version
# file) and quorvel.pc. Every file names its neighbours by relative paths,
# so the tree can be moved.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(QUORVEL_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Quorvel)

install(TARGETS quorvel EXPORT QuorvelTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/quorvel ${QUORVEL_GENERATED_INCLUDE}/quorvel
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
# The tool is a host of the shared library: it finds the installed one
# beside it, wherever the tree was moved.
file(RELATIVE_PATH QUORVEL_TOOL_TO_LIB ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
set_target_properties(quorvel_tool PROPERTIES INSTALL_RPATH "$ORIGIN/${QUORVEL_TOOL_TO_LIB}")
install(TARGETS quorvel_tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# quorvel runs quorvel-core, beside it, for the commands that use the core.
install(TARGETS quorvel_core_tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/tools/quorvel/quorvel.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

install(EXPORT QuorvelTargets NAMESPACE Quorvel:: DESTINATION ${QUORVEL_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/QuorvelConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/QuorvelConfig.cmake
                              INSTALL_DESTINATION ${QUORVEL_CMAKE_DIR})
# As the SONAME: one major version keeps the binary interface.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/QuorvelConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/QuorvelConfig.cmake
              ${PROJECT_BINARY_DIR}/QuorvelConfigVersion.cmake
        DESTINATION ${QUORVEL_CMAKE_DIR})

file(RELATIVE_PATH QUORVEL_PC_TO_PREFIX /root/${CMAKE_INSTALL_LIBDIR}/pkgconfig /root)
configure_file(${PROJECT_SOURCE_DIR}/cmake/quorvel.pc.in ${PROJECT_BINARY_DIR}/quorvel.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/quorvel.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
