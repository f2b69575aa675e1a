# The shader library's target: its sources, and the options that make its
# binary what hosts rely on. The tests build a variant with the same options.
include(CheckIPOSupported)
check_ipo_supported(RESULT QORV_IPO_SUPPORTED LANGUAGES CXX)

# Adds the library `name`, exporting the names of the version script `exports`
# (Windows exports what the sources mark).
function(qorv_add_shader_library name exports)
    add_library(${name} SHARED
        ${PROJECT_SOURCE_DIR}/host/host_entry.cpp
        ${PROJECT_SOURCE_DIR}/shader/highlight.cpp
        ${PROJECT_SOURCE_DIR}/shader/load_hook.cpp
        ${PROJECT_SOURCE_DIR}/shader/xray_shader.cpp)
    if(WIN32)
        target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/host/module_lookup_win32.cpp)
    else()
        target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/host/module_lookup_posix.cpp)
    endif()
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PRIVATE qorv_xraytexture_header)
    target_compile_definitions(${name} PRIVATE QORV_XRAYTEXTURE_SHADER_MODULE)
    # Hosts load shaders by their plain name.
    set_target_properties(${name} PROPERTIES
        PREFIX ""
        CXX_VISIBILITY_PRESET hidden
        VISIBILITY_INLINES_HIDDEN ON)
    # Nothing beyond the C runtime: no exceptions, no RTTI, no libstdc++.
    target_compile_options(${name} PRIVATE -fno-exceptions -fno-rtti -fno-threadsafe-statics)
    # Scalar code only: the SLP vectorizer packs the per-light averages into partial
    # vectors whose spare lanes hold stale stack bytes, often denormal, and dividing
    # them stalls every light for hundreds of cycles. The results are the same bits.
    target_compile_options(${name} PRIVATE -fno-tree-slp-vectorize)
    # Lets the compiler inline the highlights into the shader across files.
    if(QORV_IPO_SUPPORTED)
        set_property(TARGET ${name} PROPERTY INTERPROCEDURAL_OPTIMIZATION ON)
    endif()
    if(WIN32)
        target_link_options(${name} PRIVATE -static-libgcc -static-libstdc++)
    else()
        target_link_options(${name} PRIVATE
            -Wl,--as-needed -Wl,-z,relro -Wl,-z,now
            -Wl,--version-script=${exports})
        set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS ${exports})
        target_link_libraries(${name} PRIVATE m)
        # A sanitizer runtime may live in the executable alone, leaving its symbols
        # undefined here until the library is loaded.
        if(NOT QORV_SANITIZE)
            target_link_options(${name} PRIVATE -Wl,-z,defs)
        endif()
    endif()
endfunction()
