# mbedTLS (2.28, Debian's libmbedtls-dev) with its allocator and clock taken
# from the firmware.
#
# The TLS natives hand the addresses of mbedTLS objects to Java as 32-bit
# handles, so everything the library allocates must come from the
# firmware's standard-library heap (a static arena below 4 GiB), never from
# the host's heap; and certificate validity is judged by the application's
# clock, which the application sets, not by the host's. Debian builds the
# library without its platform memory and time hooks, so its static
# archives are copied into the build tree with their references to `calloc`,
# `free` and `time` renamed to `tarvelo_mbedtls_calloc`, `tarvelo_mbedtls_free`
# and `tarvelo_mbedtls_time` (port/security/mbedtls_platform.cpp). The
# renaming touches only the library's own objects: the rest of the process
# (and the sanitizers' interceptors) keep the host's functions. This costs a
# second of configuration instead of building the library from source.
#
# Defines the imported static libraries tarvelo_mbedtls, tarvelo_mbedx509 and
# tarvelo_mbedcrypto, linked in that order (TARVELO_MBEDTLS_LIBS), from the
# copies in TARVELO_MBEDTLS_DIR.
# The objcopy of the target's toolchain (the cross build's archives are ARM).
if(CMAKE_OBJCOPY)
  set(TARVELO_OBJCOPY ${CMAKE_OBJCOPY})
else()
  find_program(TARVELO_OBJCOPY NAMES objcopy REQUIRED)
endif()
find_path(TARVELO_MBEDTLS_INCLUDE mbedtls/ssl.h REQUIRED)

set(_tarvelo_mbedtls_out ${CMAKE_BINARY_DIR}/mbedtls)
file(MAKE_DIRECTORY ${_tarvelo_mbedtls_out})
foreach(lib mbedtls mbedx509 mbedcrypto)
  find_library(TARVELO_${lib}_ARCHIVE NAMES lib${lib}.a REQUIRED)
  set(archive ${TARVELO_${lib}_ARCHIVE})
  set(copy ${_tarvelo_mbedtls_out}/lib${lib}.a)
  if(NOT EXISTS ${copy} OR ${archive} IS_NEWER_THAN ${copy})
    execute_process(
      COMMAND ${TARVELO_OBJCOPY}
              --redefine-sym calloc=tarvelo_mbedtls_calloc
              --redefine-sym free=tarvelo_mbedtls_free
              --redefine-sym time=tarvelo_mbedtls_time
              ${archive} ${copy}
      RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "objcopy could not prepare ${archive}")
    endif()
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${archive})
  add_library(tarvelo_${lib} STATIC IMPORTED GLOBAL)
  set_target_properties(tarvelo_${lib} PROPERTIES IMPORTED_LOCATION ${copy}
                        INTERFACE_INCLUDE_DIRECTORIES ${TARVELO_MBEDTLS_INCLUDE})
endforeach()
set(TARVELO_MBEDTLS_LIBS tarvelo_mbedtls tarvelo_mbedx509 tarvelo_mbedcrypto)
# Where the prepared archives lie, for the package (cmake/TarveloConfig.cmake.in).
set(TARVELO_MBEDTLS_DIR ${_tarvelo_mbedtls_out})
