// How the shader reads any parameter: the constant in the block, or, when the
// host has connected it to another shader, the value that shader computes.
#pragma once

#include "host/host_entry.h"

#include <cstring>

template <typename T> inline const T* resolve_param(RenderState* state, const T* param) {
    const int32_t link_offset = state->shader->link_offset;
    if (link_offset == 0)
        return param;
    // The connection tag is 32 bits whatever the parameter's type.
    uint32_t connection;
    std::memcpy(&connection, reinterpret_cast<const char*>(param) + link_offset, sizeof connection);
    if (connection == 0)
        return param;
    // A host that cannot evaluate the connection leaves the stored value in force.
    const void* value = host::mi_phen_eval(state, const_cast<T*>(param));
    return value ? static_cast<const T*>(value) : param;
}
