# Pieces of a cross build (see cmake/arm-linux-gnueabihf.cmake).

# GoogleTest compiled for the target from Debian's source package.
set(TARVELO_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for the cross build")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(${TARVELO_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
# (Its build defines the GTest::gtest and GTest::gtest_main targets.)

# The image linker runs during the build, so it is built for this machine, in
# its own build tree. TARVELO_HOST_TOOLS_DIR names an existing host build
# (a normal build directory of this project) to take it from instead.
set(TARVELO_HOST_TOOLS_DIR "" CACHE PATH "A host build directory whose tarvelo-imagelink the cross build uses")
if(TARVELO_HOST_TOOLS_DIR)
  set(TARVELO_IMAGELINK ${TARVELO_HOST_TOOLS_DIR}/tools/imagelink/tarvelo-imagelink)
  set(TARVELO_IMAGELINK_DEPENDS ${TARVELO_IMAGELINK})
else()
  include(ExternalProject)
  set(host_tools_dir ${CMAKE_BINARY_DIR}/host-tools)
  set(TARVELO_IMAGELINK ${host_tools_dir}/imagelink/tarvelo-imagelink)
  ExternalProject_Add(tarvelo_host_tools
    SOURCE_DIR ${CMAKE_SOURCE_DIR}/cmake/host_tools
    BINARY_DIR ${host_tools_dir}
    # The host's own compilers, not the toolchain file's.
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_COMPILER=cc -DCMAKE_CXX_COMPILER=c++
    BUILD_COMMAND ${CMAKE_COMMAND} --build ${host_tools_dir} --target tarvelo-imagelink
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${TARVELO_IMAGELINK})
  set(TARVELO_IMAGELINK_DEPENDS tarvelo_host_tools ${TARVELO_IMAGELINK})
endif()
