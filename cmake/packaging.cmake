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
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
        "An x-ray material, shipped as one shared library that a host renderer loads
at run time: surfaces that face the viewer squarely turn see-through,
silhouettes keep their colour, and Phong highlights from the scene's lights
glint on top. The package holds the library, its C header, the shader's
declarations (JSON and MaterialX), CMake and pkg-config files for hosts, an
example host in C and xray-render, a small reference renderer.")
endif()
include(CPack)
