# CPack: a Debian package from the Linux build, a zip from the Windows build.
set(CPACK_PACKAGE_NAME qorv-xraytexture)
set(CPACK_PACKAGE_VENDOR "qorv_xraytexture developers")
set(CPACK_PACKAGE_CONTACT "qorv_xraytexture developers <maintainers@users.noreply.c-seed-7059e2ca.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "x-ray material shader for ray-tracing renderers")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)

if(WIN32)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME qorv_xraytexture-${PROJECT_VERSION}-win64)
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
    set(CPACK_GENERATOR DEB)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
    if(CMAKE_CROSSCOMPILING)
        # dpkg knows only the build machine's architecture and libraries: the
        # dependency is worked out from the library's own needs when packing.
        set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${QORV_DEBIAN_ARCHITECTURE})
        set(CPACK_QORV_LIBRARY ${CMAKE_LIBRARY_OUTPUT_DIRECTORY}/${QORV_MODULE_FILE})
        set(CPACK_QORV_READELF ${CMAKE_READELF})
        set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/debian_depends.cmake)
    else()
        set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    endif()
    if(QORV_BUILD_RENDERER)
        # No link names the libraries xray-render opens to write videos:
        # Debian names each package by its library's major version.
        foreach(module ${XRAY_LIBAV_MODULES})
            string(REGEX MATCH "^[0-9]+" major "${LIBAV_${module}_VERSION}")
            list(APPEND video_packages "${module}${major}")
        endforeach()
        list(JOIN video_packages ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
    endif()
    if(QORV_BUILD_RENDERER)
        set(renderer " and xray-render, a small reference renderer")
    endif()
    set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
        "An x-ray material, shipped as one shared library that a host renderer loads
at run time: surfaces that face the viewer squarely turn see-through,
silhouettes keep their colour, and Phong highlights from the scene's lights
glint on top. The package holds the library, its C header, the shader's
declarations (JSON and MaterialX), CMake and pkg-config files for hosts, an
example host in C${renderer}.")
endif()
include(CPack)
