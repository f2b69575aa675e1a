# Read by CPack when it packs a cross build: the Debian package's dependency,
# from the versions of the C runtime's symbols that the built library needs, as
# dpkg-shlibdeps derives it from libc6's symbols file. The library needs libc
# and libm alone, both in libc6; anything else stops the packing.
execute_process(COMMAND ${CPACK_QORV_READELF} --dynamic --version-info --wide ${CPACK_QORV_LIBRARY}
    OUTPUT_VARIABLE dynamic COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "\\(NEEDED\\)[^[]*\\[[^]]*\\]" needed "${dynamic}")
foreach(entry IN LISTS needed)
    if(NOT entry MATCHES "\\[lib[cm]\\.so\\.6\\]$")
        message(FATAL_ERROR "${CPACK_QORV_LIBRARY}: no Debian dependency known for ${entry}")
    endif()
endforeach()
string(REGEX MATCHALL "Name: GLIBC_[0-9.]+" versions "${dynamic}")
set(newest 0)
foreach(version IN LISTS versions)
    string(REPLACE "Name: GLIBC_" "" version "${version}")
    if(version VERSION_GREATER newest)
        set(newest ${version})
    endif()
endforeach()
if(newest STREQUAL 0)
    message(FATAL_ERROR "${CPACK_QORV_LIBRARY}: no versioned C runtime symbol found")
endif()
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= ${newest})")
