# What `cmake --install` lays out, and the packages CPack makes of it: the
# library in its plugin folder (hosts load it, nobody links it), the header, the
# shader's declarations, the CMake and pkg-config packages, xray-render and the
# example host.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

if(WIN32)
    # Beside the programs that load it, where Windows looks first.
    set(QORV_PLUGIN_DIR ${CMAKE_INSTALL_BINDIR})
else()
    set(QORV_PLUGIN_DIR ${CMAKE_INSTALL_LIBDIR}/qorv_xraytexture)
endif()
set(QORV_MODULE_FILE qorv_xraytexture${CMAKE_SHARED_MODULE_SUFFIX})
set(QORV_DATA_DIR ${CMAKE_INSTALL_DATADIR}/qorv_xraytexture)
set(QORV_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/qorv_xraytexture)
set(QORV_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/qorv-xraytexture)

install(TARGETS qorv_xraytexture
    LIBRARY DESTINATION ${QORV_PLUGIN_DIR}
    RUNTIME DESTINATION ${QORV_PLUGIN_DIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} EXCLUDE_FROM_ALL)
install(FILES include/qorv_xraytexture.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES shader/qorv_xraytexture.json shader/qorv_xraytexture.mtlx
    DESTINATION ${QORV_DATA_DIR})

# The CMake package: the header's interface target, and where the library is.
set_target_properties(qorv_xraytexture_header PROPERTIES EXPORT_NAME qorv_xraytexture)
target_include_directories(qorv_xraytexture_header INTERFACE
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
install(TARGETS qorv_xraytexture_header EXPORT qorv_xraytexture_targets)
install(EXPORT qorv_xraytexture_targets NAMESPACE qorv_xraytexture::
    DESTINATION ${QORV_CMAKE_DIR} FILE qorv_xraytexture-targets.cmake)
configure_package_config_file(cmake/qorv_xraytexture-config.cmake.in
    ${PROJECT_BINARY_DIR}/qorv_xraytexture-config.cmake
    INSTALL_DESTINATION ${QORV_CMAKE_DIR}
    PATH_VARS QORV_PLUGIN_DIR QORV_DATA_DIR)
# A new major version changes the binary interface.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/qorv_xraytexture-config-version.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/qorv_xraytexture-config.cmake
    ${PROJECT_BINARY_DIR}/qorv_xraytexture-config-version.cmake
    DESTINATION ${QORV_CMAKE_DIR})

if(WIN32)
    # The example host, built here against the header; it loads the DLL beside it.
    add_executable(minimal_host examples/minimal_host/minimal_host.c)
    target_link_libraries(minimal_host PRIVATE qorv_xraytexture_header)
    target_link_options(minimal_host PRIVATE -static)
    install(TARGETS minimal_host RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES LICENSE README.md CHANGELOG.md DESTINATION .)
    # The README's links lead into docs/ and examples/, the guides' into examples/.
    install(DIRECTORY docs/ DESTINATION docs FILES_MATCHING PATTERN "*.md" PATTERN "*.png")
    install(DIRECTORY examples/ DESTINATION examples)
else()
    install(FILES examples/minimal_host/minimal_host.c examples/minimal_host/CMakeLists.txt
        DESTINATION ${QORV_DOC_DIR}/examples/minimal_host)

    # pkg-config: the prefix is the one installed into, known only then. A
    # relative one lies below the working directory, as the files installed
    # do. It stays as it is, since variables are paths a caller uses as they
    # stand; the flags are quoted, as pkg-config splits them at a space.
    set(QORV_PC_PREFIX "@QORV_PC_PREFIX@")
    configure_file(cmake/qorv_xraytexture.pc.in ${PROJECT_BINARY_DIR}/qorv_xraytexture.pc.in @ONLY)
    install(CODE [[
        cmake_path(ABSOLUTE_PATH CMAKE_INSTALL_PREFIX NORMALIZE OUTPUT_VARIABLE QORV_PC_PREFIX)]]
        CODE "configure_file(\"${PROJECT_BINARY_DIR}/qorv_xraytexture.pc.in\"
                       \"${PROJECT_BINARY_DIR}/pkgconfig/qorv_xraytexture.pc\" @ONLY)")
    install(FILES ${PROJECT_BINARY_DIR}/pkgconfig/qorv_xraytexture.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

    # Debian's documentation: the licence as a machine-readable copyright file,
    # and the change log compressed as the policy asks. Its latest entry is
    # the version packaged.
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS packaging/debian/changelog)
    file(STRINGS packaging/debian/changelog latest_entry LIMIT_COUNT 1)
    string(REGEX REPLACE "^[^ ]+ \\(([^)]*)\\).*" "\\1" latest_version "${latest_entry}")
    if(NOT latest_version STREQUAL PROJECT_VERSION)
        message(FATAL_ERROR "packaging/debian/changelog: the latest entry is version "
                            "${latest_version}, the project ${PROJECT_VERSION}")
    endif()
    add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/changelog.gz
        COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/packaging/debian/changelog
                > ${PROJECT_BINARY_DIR}/changelog.gz
        DEPENDS ${PROJECT_SOURCE_DIR}/packaging/debian/changelog)
    add_custom_target(debian_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/changelog.gz)
    install(FILES packaging/debian/copyright ${PROJECT_BINARY_DIR}/changelog.gz
        DESTINATION ${QORV_DOC_DIR})
endif()

include(cmake/packaging.cmake)
