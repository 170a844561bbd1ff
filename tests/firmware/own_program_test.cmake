# Builds SOURCE (a project using find_package(Tarvelo)) in BUILD against the
# build tree TARVELO_BUILD, runs its firmware and checks what it prints.
file(REMOVE_RECURSE ${BUILD})
execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE} -B ${BUILD} -G ${GENERATOR} -DTarvelo_DIR=${TARVELO_BUILD}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "configuring the own program failed:\n${out}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "building the own program failed:\n${out}")
endif()
execute_process(COMMAND ${BUILD}/hello RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 60)
if(NOT rc EQUAL 0 OR NOT out MATCHES "Tarvelo START\nHello, world\nTarvelo END \\(exit code = 0\\)")
  message(FATAL_ERROR "the own program's firmware (status ${rc}) printed:\n${out}${err}")
endif()
