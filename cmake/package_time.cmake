# Read by cpack for every package it makes (CPACK_PROJECT_CONFIG_FILE).
#
# The time written into the packages' archives: SOURCE_DATE_EPOCH when it is
# set, otherwise the time of the commit the sources are checked out at, so
# that two builds of one commit make byte-identical packages. Sources from
# the release archive have no commit; their packages carry the time they
# were made, unless SOURCE_DATE_EPOCH is given.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  set(SOURCE_DIR "${CPACK_D88UNPACK_SOURCE_DIR}")
  include(${SOURCE_DIR}/cmake/git_checkout.cmake)
  git_in_checkout(commit_time log -1 --format=%ct)
  if(commit_time MATCHES "^[0-9]+$")
    set(ENV{SOURCE_DATE_EPOCH} "${commit_time}")
  endif()
endif()
