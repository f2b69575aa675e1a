# The names of the host operations, in order, read from the one list of them in
# the public header. A change to the header configures the build again.
set(QORV_PUBLIC_HEADER ${PROJECT_SOURCE_DIR}/include/qorv_xraytexture.h)
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${QORV_PUBLIC_HEADER})

function(qorv_host_operations out)
    # Read whole: a line that ends with a backslash would escape CMake's list separator.
    file(READ ${QORV_PUBLIC_HEADER} header)
    string(REGEX MATCHALL "\n +X\\([^,\n]+, [a-zA-Z_0-9]+, [0-9]+," entries "${header}")
    set(names)
    foreach(entry IN LISTS entries)
        string(REGEX REPLACE "^\n +X\\([^,]+, ([a-zA-Z_0-9]+),.*" "\\1" name "${entry}")
        list(APPEND names ${name})
    endforeach()
    list(LENGTH names count)
    if(count EQUAL 0)
        message(FATAL_ERROR "no host operation found in ${QORV_PUBLIC_HEADER}")
    endif()
    set(${out} ${names} PARENT_SCOPE)
endfunction()
