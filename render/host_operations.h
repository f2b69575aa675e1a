// The seven operations this host offers its shaders, exported from the program
// under their plain names so that a shader library finds them by name.
#pragma once

#include <qorv_xraytexture.h>

QORV_XRAYTEXTURE_HOST_OPERATIONS(QORV_XRAYTEXTURE_EXPORTED_OPERATION)
