# Runs cmake/build_version.cmake on git checkouts made for the purpose and
# checks what it tells --version:
#   cmake -DGIT_EXECUTABLE=git -DSCRIPT=cmake/build_version.cmake
#         -DSCRATCH=folder -P tests/build_version_check.cmake
set(failures "")

function(git)
  execute_process(
    COMMAND "${GIT_EXECUTABLE}" -c user.name=test -c user.email=test@example.org
            -c init.defaultBranch=main ${ARGN}
    WORKING_DIRECTORY "${repo}" RESULT_VARIABLE status
    OUTPUT_QUIET ERROR_VARIABLE error)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "git ${ARGN}: ${error}")
  endif()
endfunction()

# Writes the header for the sources in `folder` and compares the describe
# text against the pattern.
function(expect case folder pattern)
  set(header "${SCRATCH}/build_version.h")
  file(REMOVE "${header}")
  execute_process(COMMAND "${CMAKE_COMMAND}" -DSOURCE_DIR=${folder}
    -DVERSION=9.9.9 -DOUTPUT=${header} -P "${SCRIPT}"
    RESULT_VARIABLE status)
  file(STRINGS "${header}" line REGEX "D88UNPACK_GIT_DESCRIBE")
  string(REGEX REPLACE ".*DESCRIBE \"(.*)\"$" "\\1" describe "${line}")
  if(NOT status EQUAL 0 OR NOT describe MATCHES "${pattern}")
    string(APPEND failures "${case}: got \"${describe}\", want ${pattern}\n")
    set(failures "${failures}" PARENT_SCOPE)
  endif()
endfunction()

file(REMOVE_RECURSE "${SCRATCH}")
set(repo "${SCRATCH}/repo")
file(MAKE_DIRECTORY "${repo}/unpacked")
# No git repository is looked for above the scratch folder.
set(ENV{GIT_CEILING_DIRECTORIES} "${SCRATCH}")

expect("no checkout" "${repo}" "^$")
git(init -q)
file(WRITE "${repo}/file" "one\n")
file(WRITE "${repo}/unpacked/file" "sources unpacked in a checkout\n")
git(add file unpacked/file)
git(commit -q -m one)
expect("no release tag yet" "${repo}" "^[0-9a-f]+$")
git(tag v9.9.9)
expect("the release's tag" "${repo}" "^$")
expect("inside another checkout" "${repo}/unpacked" "^$")
file(WRITE "${repo}/file" "two\n")
expect("changes not committed" "${repo}" "^v9.9.9-dirty$")
git(commit -q -a -m two)
expect("a commit beyond the tag" "${repo}" "^v9.9.9-1-g[0-9a-f]+$")
git(tag build-10)
git(tag other-9)
expect("other tags are not releases" "${repo}" "^v9.9.9-1-g[0-9a-f]+$")

# An unchanged header keeps its time, so that nothing is compiled again.
set(header "${SCRATCH}/build_version.h")
execute_process(COMMAND touch -d @86400 "${header}")
file(TIMESTAMP "${header}" before "%s" UTC)
execute_process(COMMAND "${CMAKE_COMMAND}" -DSOURCE_DIR=${repo}
  -DVERSION=9.9.9 -DOUTPUT=${header} -P "${SCRIPT}")
file(TIMESTAMP "${header}" after "%s" UTC)
if(NOT before STREQUAL "86400" OR NOT after STREQUAL before)
  string(APPEND failures "unchanged header rewritten: ${before} -> ${after}\n")
endif()

if(failures)
  message(FATAL_ERROR "${failures}")
endif()
message(STATUS "build_version.cmake speaks as it should")
