# Cross build for 32-bit ARM with hardware floating point (AAPCS-VFP, the
# device's calling convention): Thumb-2 code, VFP with 16 double registers.
# The executables are linked statically and run on this machine under
# qemu-user; ctest runs every test through the emulator.
#
#   cmake -S . -B build-arm -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/arm-linux-gnueabihf.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(TARVELO_CROSS_TRIPLE arm-linux-gnueabihf)
set(CMAKE_C_COMPILER ${TARVELO_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${TARVELO_CROSS_TRIPLE}-g++)
set(CMAKE_ASM_COMPILER ${TARVELO_CROSS_TRIPLE}-gcc)

set(CMAKE_C_FLAGS_INIT "-march=armv7-a -mthumb -mfpu=vfpv3-d16 -mfloat-abi=hard")
set(CMAKE_CXX_FLAGS_INIT "${CMAKE_C_FLAGS_INIT}")
set(CMAKE_ASM_FLAGS_INIT "${CMAKE_C_FLAGS_INIT}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# The cross toolchain's own root, and the machine's multiarch directories
# where Debian's armhf development packages (mbedTLS, zlib) install.
set(CMAKE_FIND_ROOT_PATH /usr/${TARVELO_CROSS_TRIPLE} /)
set(CMAKE_LIBRARY_ARCHITECTURE ${TARVELO_CROSS_TRIPLE})
# Executables are linked statically: only archives will do.
set(ZLIB_LIBRARY /usr/lib/${TARVELO_CROSS_TRIPLE}/libz.a CACHE FILEPATH "")
set(PNG_LIBRARY /usr/lib/${TARVELO_CROSS_TRIPLE}/libpng.a CACHE FILEPATH "")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(TARVELO_QEMU_ARM qemu-arm REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${TARVELO_QEMU_ARM} -L /usr/${TARVELO_CROSS_TRIPLE})
