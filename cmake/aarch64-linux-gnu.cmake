# Cross-compiles for 64-bit Arm Linux with Debian's aarch64-linux-gnu toolchain
# and runs the resulting programs under qemu's user-mode emulator, which takes
# the target's loader and C runtime from the cross sysroot.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(QORV_TRIPLET aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${QORV_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${QORV_TRIPLET}-g++)

set(QORV_SYSROOT /usr/${QORV_TRIPLET})
set(CMAKE_FIND_ROOT_PATH ${QORV_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# GNUInstallDirs gives a cross build no multiarch directory; Debian's is this.
set(CMAKE_INSTALL_LIBDIR lib/${QORV_TRIPLET} CACHE PATH "Object code libraries")
# What Debian calls the architecture, for the package.
set(QORV_DEBIAN_ARCHITECTURE arm64)

find_program(QEMU_AARCH64 NAMES qemu-aarch64 qemu-aarch64-static REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${QEMU_AARCH64} -L ${QORV_SYSROOT})
