# A firmware executable is the firmware libraries linked with one application
# image, as on the device, where each image is linked into its own binary.
# The libraries refer to each other (the RTOS calls the application's hooks,
# the virtual machine calls the natives and the image refers back to them),
# so they are linked as one group.
set(TARVELO_FIRMWARE_LIBS tarvelo_vm tarvelo_graphics tarvelo_port tarvelo_bsp tarvelo_lwip tarvelo_platform
                          ${TARVELO_MBEDTLS_LIBS})
# The drawer tables and painter natives; the weak default drawer entries come
# last, after any library with strong entries (port/display/drawing).
list(APPEND TARVELO_FIRMWARE_LIBS tarvelo_port_drawing tarvelo_port_drawing_defaults)

# Links the firmware libraries into `target`; the start-up code (`main`) is
# added unless NO_STARTUP is given (unit tests bring their own `main`).
#
# The board's display port (port/display: display task, refresh strategy,
# touch input, LEDs) goes in too, unless OWN_DISPLAY_PORT says that the
# target's sources bring a display port of their own (the engine's tests do).
# Its objects go straight into the executable: they replace the engine's
# weak input and LED defaults, which an archive member never would. The
# engine has no default for the display's own hooks, so an executable with
# no display port at all fails to link rather than halting when the
# application opens the display.
function(tarvelo_link_firmware target)
  cmake_parse_arguments(ARG "NO_STARTUP;OWN_DISPLAY_PORT" "" "" ${ARGN})
  if(NOT ARG_NO_STARTUP)
    target_sources(${target} PRIVATE $<TARGET_OBJECTS:tarvelo_startup>)
  endif()
  target_sources(${target} PRIVATE $<TARGET_OBJECTS:tarvelo_link_defaults>)
  if(NOT ARG_OWN_DISPLAY_PORT)
    target_sources(${target} PRIVATE $<TARGET_OBJECTS:tarvelo_display>)
  endif()
  string(JOIN "," libs ${TARVELO_FIRMWARE_LIBS})
  target_link_libraries(${target} PRIVATE "$<LINK_GROUP:RESCAN,${libs}>" Threads::Threads)
  if(NOT ARG_OWN_DISPLAY_PORT)
    # The weak stand-ins of the GPU calls the display task makes, after
    # everything that may define them.
    target_link_libraries(${target} PRIVATE tarvelo_display_gpu_defaults)
  endif()
endfunction()

# tarvelo_add_firmware(<name> IMAGE_ASM <image.S>): a firmware executable from
# an image already in assembler form.
function(tarvelo_add_firmware name)
  cmake_parse_arguments(ARG "" "IMAGE_ASM" "" ${ARGN})
  add_executable(${name} ${ARG_IMAGE_ASM})
  tarvelo_link_firmware(${name})
endfunction()

# tarvelo_config_source(<out_var> <name> <sym>=<value>...): an assembler source
# that defines link-time configuration symbols, overriding the firmware's
# weak defaults for one executable.
function(tarvelo_config_source out_var name)
  set(path ${CMAKE_CURRENT_BINARY_DIR}/${name}_config.S)
  set(text "/* Generated: link-time configuration of ${name}. */\n")
  foreach(entry IN LISTS ARGN)
    string(REPLACE "=" ";" pair "${entry}")
    list(GET pair 0 sym)
    list(GET pair 1 value)
    # Values are 32-bit words: -1 is 0xFFFFFFFF, which a 32-bit relocation holds.
    string(APPEND text "        .globl ${sym}\n        .set ${sym}, (${value}) & 0xFFFFFFFF\n")
  endforeach()
  string(APPEND text "        .section .note.GNU-stack, \"\", %progbits\n")
  file(GENERATE OUTPUT ${path} CONTENT "${text}")
  set(${out_var} ${path} PARENT_SCOPE)
endfunction()

# --- Application images ------------------------------------------------------
# The image linker: the build's own executable, unless a cross build has
# named one built for the build machine (cmake/CrossBuild.cmake).
if(NOT DEFINED TARVELO_IMAGELINK)
  set(TARVELO_IMAGELINK tarvelo-imagelink)
  set(TARVELO_IMAGELINK_DEPENDS tarvelo-imagelink)
endif()
# Image sources (the linker's text form) are linked at build time into
# assembler source; the runtime prelude is found on the include path.
set(TARVELO_IMAGE_PRELUDE_DIR ${CMAKE_CURRENT_LIST_DIR}/../tools/imagelink/prelude)
cmake_path(NORMAL_PATH TARVELO_IMAGE_PRELUDE_DIR)

# tarvelo_add_image_object(<target> IMAGE <text file> [CONFIG <sym>=<value> ...]
#                          [WEAK_EXTERNALS] [INCLUDE_DIRS <dir> ...] [DEPENDS <target or file> ...])
# Links the image and adds it to <target>'s sources (for test executables
# that bring their own main). The map and listing of the image are written
# next to it in the build tree. WEAK_EXTERNALS lets natives the firmware
# does not define yet resolve to 0. INCLUDE_DIRS are searched for included
# sources after the prelude (sources made at build time); DEPENDS are built
# before the image is linked (the resources those sources name).
function(tarvelo_add_image_object target)
  cmake_parse_arguments(ARG "WEAK_EXTERNALS" "IMAGE" "CONFIG;INCLUDE_DIRS;DEPENDS" ${ARGN})
  if(NOT ARG_IMAGE)
    message(FATAL_ERROR "tarvelo_add_image_object(${target}): IMAGE is required")
  endif()
  get_filename_component(image ${ARG_IMAGE} ABSOLUTE)
  set(base ${CMAKE_CURRENT_BINARY_DIR}/${target}_image)
  set(args ${image} -I ${TARVELO_IMAGE_PRELUDE_DIR} -o ${base}.S --map ${base}.map
           --listing ${base}.lst --depfile ${base}.d)
  foreach(dir ${ARG_INCLUDE_DIRS})
    list(APPEND args -I ${dir})
  endforeach()
  foreach(setting ${ARG_CONFIG})
    list(APPEND args -D ${setting})
  endforeach()
  if(ARG_WEAK_EXTERNALS)
    list(APPEND args --weak-externals)
  endif()
  add_custom_command(
    OUTPUT ${base}.S ${base}.map ${base}.lst
    COMMAND ${TARVELO_IMAGELINK} ${args}
    DEPENDS ${image} ${TARVELO_IMAGELINK_DEPENDS} ${ARG_DEPENDS}
    DEPFILE ${base}.d
    COMMENT "Linking application image ${ARG_IMAGE} for ${target}"
    VERBATIM)
  target_sources(${target} PRIVATE ${base}.S)
endfunction()

# tarvelo_shared_objects(<out_var> <source>...): the object files of the
# sources, each compiled once however many executables link it (natives
# shared by many firmware executables of the tests and benchmarks).
function(tarvelo_shared_objects out_var)
  set(objects)
  foreach(src IN LISTS ARGN)
    get_filename_component(path ${src} ABSOLUTE)
    file(RELATIVE_PATH rel ${CMAKE_SOURCE_DIR} ${path})
    string(MAKE_C_IDENTIFIER "tarvelo_obj_${rel}" lib)
    if(NOT TARGET ${lib})
      add_library(${lib} OBJECT ${path})
      # The headers and definitions of the firmware the sources are linked with.
      target_link_libraries(${lib} PRIVATE ${TARVELO_FIRMWARE_LIBS} Threads::Threads)
    endif()
    list(APPEND objects $<TARGET_OBJECTS:${lib}>)
  endforeach()
  set(${out_var} ${objects} PARENT_SCOPE)
endfunction()

# tarvelo_add_image_firmware(<name> IMAGE <text file> [CONFIG <sym>=<value> ...]
#                            [SOURCES <file> ...] [WEAK_EXTERNALS] [OWN_DISPLAY_PORT]
#                            [INCLUDE_DIRS <dir> ...] [DEPENDS <target or file> ...])
# A firmware executable: the firmware libraries linked with one image. The
# SOURCES are compiled once for every executable that names them, so they
# take no definitions of their own executable. OWN_DISPLAY_PORT: the SOURCES
# hold the display port instead of the board's (tarvelo_link_firmware).
function(tarvelo_add_image_firmware name)
  cmake_parse_arguments(ARG "WEAK_EXTERNALS;OWN_DISPLAY_PORT" "IMAGE" "CONFIG;SOURCES;INCLUDE_DIRS;DEPENDS" ${ARGN})
  tarvelo_shared_objects(objects ${ARG_SOURCES})
  add_executable(${name} ${objects})
  set(extra)
  if(ARG_WEAK_EXTERNALS)
    set(extra WEAK_EXTERNALS)
  endif()
  tarvelo_add_image_object(${name} IMAGE ${ARG_IMAGE} CONFIG ${ARG_CONFIG} ${extra}
    INCLUDE_DIRS ${ARG_INCLUDE_DIRS} DEPENDS ${ARG_DEPENDS})
  set(port)
  if(ARG_OWN_DISPLAY_PORT)
    set(port OWN_DISPLAY_PORT)
  endif()
  tarvelo_link_firmware(${name} ${port})
endfunction()

# --- Installed applications --------------------------------------------------
# tarvelo_add_application(<target> KERNEL <kernel.tvi> SOURCE <application.tvi>
#                         OUTPUT <file.tvf>)
# Links the application against the kernel image source into an application
# file, with its map next to it (<file.tvf>.map, for tarvelo-symbolize
# --application); <target> builds both.
function(tarvelo_add_application target)
  cmake_parse_arguments(ARG "" "KERNEL;SOURCE;OUTPUT" "" ${ARGN})
  if(NOT ARG_KERNEL OR NOT ARG_SOURCE OR NOT ARG_OUTPUT)
    message(FATAL_ERROR "tarvelo_add_application(${target}): KERNEL, SOURCE and OUTPUT are required")
  endif()
  get_filename_component(kernel ${ARG_KERNEL} ABSOLUTE)
  get_filename_component(source ${ARG_SOURCE} ABSOLUTE)
  get_filename_component(tvf ${ARG_OUTPUT} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_BINARY_DIR})
  get_filename_component(dir ${tvf} DIRECTORY)
  file(MAKE_DIRECTORY ${dir})
  add_custom_command(
    OUTPUT ${tvf} ${tvf}.map
    COMMAND ${TARVELO_IMAGELINK} ${kernel} -I ${TARVELO_IMAGE_PRELUDE_DIR} --application ${source}
            -o ${tvf} --map ${tvf}.map --depfile ${tvf}.d
    DEPENDS ${kernel} ${source} ${TARVELO_IMAGELINK_DEPENDS}
    DEPFILE ${tvf}.d
    COMMENT "Linking the application file ${ARG_OUTPUT}"
    VERBATIM)
  add_custom_target(${target} DEPENDS ${tvf} ${tvf}.map)
  set_target_properties(${target} PROPERTIES TARVELO_APPLICATION_FILE ${tvf})
endfunction()

# tarvelo_add_kernel_firmware(<name> KERNEL <kernel.tvi> APPLICATIONS <target> ...
#                             [SOURCES <file> ...] [CONFIG <sym>=<value> ...])
# A firmware executable of the kernel image that carries each application
# file (made by tarvelo_add_application) as its resource "/apps/<file name>",
# for the kernel's loader to install.
function(tarvelo_add_kernel_firmware name)
  cmake_parse_arguments(ARG "" "KERNEL" "APPLICATIONS;SOURCES;CONFIG" ${ARGN})
  get_filename_component(kernel ${ARG_KERNEL} ABSOLUTE)
  set(text "# Made by the build: ${ARG_KERNEL} with its application files.\n.include \"${kernel}\"\n")
  foreach(app IN LISTS ARG_APPLICATIONS)
    get_target_property(tvf ${app} TARVELO_APPLICATION_FILE)
    get_filename_component(file ${tvf} NAME)
    string(APPEND text ".resource \"/apps/${file}\" \"${tvf}\"\n")
  endforeach()
  set(image ${CMAKE_CURRENT_BINARY_DIR}/${name}_kernel.tvi)
  file(WRITE ${image}.in "${text}")
  configure_file(${image}.in ${image} COPYONLY)
  tarvelo_add_image_firmware(${name} IMAGE ${image} SOURCES ${ARG_SOURCES} CONFIG ${ARG_CONFIG}
                             DEPENDS ${ARG_APPLICATIONS})
endfunction()

# tarvelo_export_package(): the build tree as a CMake package (TarveloConfig.cmake
# next to the exported targets), so that another project can build firmware
# executables of its own images. Exports everything tarvelo_link_firmware
# links (the firmware libraries, the start-up objects, the display port) and
# the image linker, with every target of this project they link; mbedTLS's
# prepared archives and the first screen's resources are named by the
# package configuration itself, as they are no targets of this project.
function(tarvelo_export_package)
  set(pending ${TARVELO_FIRMWARE_LIBS} tarvelo_startup tarvelo_link_defaults tarvelo_display
              tarvelo_display_gpu_defaults tarvelo-imagelink)
  set(targets)
  while(pending)
    list(POP_FRONT pending t)
    if(NOT TARGET ${t} OR t IN_LIST targets)
      continue()
    endif()
    get_target_property(imported ${t} IMPORTED)
    if(imported)
      continue()
    endif()
    list(APPEND targets ${t})
    get_target_property(type ${t} TYPE)
    foreach(property LINK_LIBRARIES INTERFACE_LINK_LIBRARIES)
      get_target_property(deps ${t} ${property})
      if(NOT deps OR (type STREQUAL "EXECUTABLE" AND property STREQUAL "LINK_LIBRARIES"))
        continue()
      endif()
      foreach(dep IN LISTS deps)
        string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" dep "${dep}")
        if(TARGET ${dep})
          list(APPEND pending ${dep})
        endif()
      endforeach()
    endforeach()
  endwhile()
  export(TARGETS ${targets} FILE ${CMAKE_BINARY_DIR}/TarveloTargets.cmake)
  get_property(TARVELO_SCREEN_RESOURCES_DIR GLOBAL PROPERTY TARVELO_SCREEN_RESOURCES_DIR)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/TarveloConfig.cmake.in ${CMAKE_BINARY_DIR}/TarveloConfig.cmake @ONLY)
endfunction()
