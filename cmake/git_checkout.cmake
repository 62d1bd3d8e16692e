# git_in_checkout(RESULT ARG...) runs "git ARG..." in SOURCE_DIR and sets
# RESULT to what it prints, or to "" when there is no git, when it fails,
# or when SOURCE_DIR is not the top folder of a checkout: the release
# archive may be unpacked inside some other repository, whose commits say
# nothing about these sources.
function(git_in_checkout result)
  set(${result} "" PARENT_SCOPE)
  find_package(Git QUIET)
  if(NOT GIT_FOUND)
    return()
  endif()
  execute_process(
    COMMAND "${GIT_EXECUTABLE}" -C "${SOURCE_DIR}" rev-parse --show-toplevel
    OUTPUT_VARIABLE top OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE status ERROR_QUIET)
  if(NOT status EQUAL 0)
    return()
  endif()
  file(REAL_PATH "${top}" top)
  file(REAL_PATH "${SOURCE_DIR}" source)
  if(NOT top STREQUAL source)
    return()
  endif()
  execute_process(COMMAND "${GIT_EXECUTABLE}" -C "${SOURCE_DIR}" ${ARGN}
    OUTPUT_VARIABLE output OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE status ERROR_QUIET)
  if(status EQUAL 0)
    set(${result} "${output}" PARENT_SCOPE)
  endif()
endfunction()
