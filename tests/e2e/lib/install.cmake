# Installs the build into a fresh prefix for the end-to-end tests, so that
# nothing left from an earlier run stands in for a missing install rule.
# Usage: cmake -DBUILD=dir -DPREFIX=dir [-DCONFIG=name] -P install.cmake
file(REMOVE_RECURSE "${PREFIX}")
set(config_args)
if(CONFIG)
  set(config_args --config "${CONFIG}")
endif()
execute_process(
  COMMAND "${CMAKE_COMMAND}" --install "${BUILD}" --prefix "${PREFIX}" ${config_args}
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install ${BUILD} --prefix ${PREFIX} failed: ${status}")
endif()
