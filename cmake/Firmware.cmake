# A firmware executable is the firmware libraries linked with one application
# image, as on the device, where each image is linked into its own binary.
# The libraries refer to each other (the RTOS calls the application's hooks,
# the virtual machine calls the natives and the image refers back to them),
# so they are linked as one group.
set(TARVELO_FIRMWARE_LIBS tarvelo_vm tarvelo_port tarvelo_bsp tarvelo_platform ${TARVELO_MBEDTLS_LIBS})

# Links the firmware libraries into `target`; the start-up code (`main`) is
# added unless NO_STARTUP is given (unit tests bring their own `main`).
function(tarvelo_link_firmware target)
  cmake_parse_arguments(ARG "NO_STARTUP" "" "" ${ARGN})
  if(NOT ARG_NO_STARTUP)
    target_sources(${target} PRIVATE $<TARGET_OBJECTS:tarvelo_startup>)
  endif()
  target_sources(${target} PRIVATE $<TARGET_OBJECTS:tarvelo_link_defaults>)
  string(JOIN "," libs ${TARVELO_FIRMWARE_LIBS})
  target_link_libraries(${target} PRIVATE "$<LINK_GROUP:RESCAN,${libs}>" Threads::Threads)
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
  string(APPEND text "        .section .note.GNU-stack, \"\", @progbits\n")
  file(GENERATE OUTPUT ${path} CONTENT "${text}")
  set(${out_var} ${path} PARENT_SCOPE)
endfunction()

# --- Application images ------------------------------------------------------
# Image sources (the linker's text form) are linked at build time into
# assembler source; the runtime prelude is found on the include path.
set(TARVELO_IMAGE_PRELUDE_DIR ${CMAKE_SOURCE_DIR}/tools/imagelink/prelude)

# tarvelo_add_image_object(<target> IMAGE <text file> [CONFIG <sym>=<value> ...]
#                          [WEAK_EXTERNALS])
# Links the image and adds it to <target>'s sources (for test executables
# that bring their own main). The map and listing of the image are written
# next to it in the build tree. WEAK_EXTERNALS lets natives the firmware
# does not define yet resolve to 0.
function(tarvelo_add_image_object target)
  cmake_parse_arguments(ARG "WEAK_EXTERNALS" "IMAGE" "CONFIG" ${ARGN})
  if(NOT ARG_IMAGE)
    message(FATAL_ERROR "tarvelo_add_image_object(${target}): IMAGE is required")
  endif()
  get_filename_component(image ${ARG_IMAGE} ABSOLUTE)
  set(base ${CMAKE_CURRENT_BINARY_DIR}/${target}_image)
  set(args ${image} -I ${TARVELO_IMAGE_PRELUDE_DIR} -o ${base}.S --map ${base}.map
           --listing ${base}.lst --depfile ${base}.d)
  foreach(setting ${ARG_CONFIG})
    list(APPEND args -D ${setting})
  endforeach()
  if(ARG_WEAK_EXTERNALS)
    list(APPEND args --weak-externals)
  endif()
  add_custom_command(
    OUTPUT ${base}.S ${base}.map ${base}.lst
    COMMAND tarvelo-imagelink ${args}
    DEPENDS ${image} tarvelo-imagelink
    DEPFILE ${base}.d
    COMMENT "Linking application image ${ARG_IMAGE} for ${target}"
    VERBATIM)
  target_sources(${target} PRIVATE ${base}.S)
endfunction()

# tarvelo_add_image_firmware(<name> IMAGE <text file> [CONFIG <sym>=<value> ...]
#                            [SOURCES <file> ...] [WEAK_EXTERNALS])
# A firmware executable: the firmware libraries linked with one image.
function(tarvelo_add_image_firmware name)
  cmake_parse_arguments(ARG "WEAK_EXTERNALS" "IMAGE" "CONFIG;SOURCES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  set(extra)
  if(ARG_WEAK_EXTERNALS)
    set(extra WEAK_EXTERNALS)
  endif()
  tarvelo_add_image_object(${name} IMAGE ${ARG_IMAGE} CONFIG ${ARG_CONFIG} ${extra})
  tarvelo_link_firmware(${name})
endfunction()
