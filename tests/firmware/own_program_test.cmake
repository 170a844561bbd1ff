# Builds SOURCE (a project using find_package(Tarvelo)) in BUILD against the
# build tree TARVELO_BUILD, runs its firmware PROGRAM and checks that what it
# prints matches EXPECTED (a regular expression). With FRAMES set, the
# firmware writes its frames to BUILD/frames, and the first must be there.
# With UNLINKABLE set, building that target of the project must fail at link
# time, naming the symbol UNLINKABLE_SYMBOL. With COPY set (a folder), the
# project is built from a fresh folder holding SOURCE's files and COPY's, as
# someone who copied COPY out of the project would have it.
file(REMOVE_RECURSE ${BUILD})
if(COPY)
  set(copied ${BUILD}-source)
  file(REMOVE_RECURSE ${copied})
  file(COPY ${SOURCE}/ ${COPY}/ DESTINATION ${copied})
  set(SOURCE ${copied})
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE} -B ${BUILD} -G ${GENERATOR} -DTarvelo_DIR=${TARVELO_BUILD}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "configuring the own program failed:\n${out}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "building the own program failed:\n${out}")
endif()
set(environment)
if(FRAMES)
  set(environment ${CMAKE_COMMAND} -E env TARVELO_FRAMES=${BUILD}/frames TARVELO_CLOCK=virtual)
endif()
execute_process(COMMAND ${environment} ${BUILD}/${PROGRAM} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err
                TIMEOUT 60)
if(NOT rc EQUAL 0 OR NOT out MATCHES "${EXPECTED}")
  message(FATAL_ERROR "the own program's firmware (status ${rc}) printed:\n${out}${err}")
endif()
if(FRAMES AND NOT EXISTS ${BUILD}/frames/frame-00001.png)
  message(FATAL_ERROR "the own program's firmware showed no frame:\n${out}${err}")
endif()
if(UNLINKABLE)
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD} --target ${UNLINKABLE}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(rc EQUAL 0 OR NOT out MATCHES "undefined reference to `${UNLINKABLE_SYMBOL}'")
    message(FATAL_ERROR "${UNLINKABLE} without a display port (status ${rc}) did not fail to link:\n${out}")
  endif()
endif()
