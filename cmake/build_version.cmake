# Writes the header that tells --version what it was built from:
#   cmake -DSOURCE_DIR=... -DVERSION=X.Y.Z -DOUTPUT=.../build_version.h
#         -P cmake/build_version.cmake
#
# Run at every build (not only at configure time), so that a commit made
# since cmake last ran shows. The header is rewritten only when its text
# changes, so an unchanged checkout recompiles nothing.
#
# D88UNPACK_GIT_DESCRIBE holds what "git describe" says when the sources are
# a git checkout with changes beyond the release's tag vX.Y.Z (commits after
# it, edits not committed, or no such tag yet); it is empty for a checkout of
# the tag itself, for sources from the release archive, and without git.
include(${CMAKE_CURRENT_LIST_DIR}/git_checkout.cmake)

git_in_checkout(describe describe --tags --match "v[0-9]*" --dirty --always)
if(describe STREQUAL "v${VERSION}")
  set(describe "")
endif()

set(text "// Written by cmake/build_version.cmake at build time.
#pragma once
#define D88UNPACK_VERSION \"${VERSION}\"
#define D88UNPACK_GIT_DESCRIBE \"${describe}\"
")
set(old "")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
endif()
if(NOT old STREQUAL text)
  file(WRITE "${OUTPUT}" "${text}")
endif()
