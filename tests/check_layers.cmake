# Guards the shape of tool/: each folder is a layer, and a file includes only
# from its own layer or the ones below it, so that no include cycle can form
# and a consumer never leans on another consumer or on the driver.
#
#   cmake -DSOURCE_DIR=<repository root> -P tests/check_layers.cmake
#
# Layers from the bottom: image (the container, its own library), host
# (files, folders, names), disk (the file system and the walk), report
# (console lines, JSON), commands (the consumers), cli (options, driver).
# A consumer too large for one file keeps its pieces in a folder of its own
# name (commands/repack/ beside commands/repack.h); they are all that
# consumer's and may include each other.
set(layers image host disk report commands cli)

file(GLOB_RECURSE sources RELATIVE "${SOURCE_DIR}/tool"
  "${SOURCE_DIR}/tool/*.h" "${SOURCE_DIR}/tool/*.cpp")
# The consumer a file of commands/ belongs to: X for commands/X.cpp and for
# everything in commands/X/.
function(consumer_of path result)
  string(REGEX REPLACE "^commands/([^/.]+).*" "\\1" name "${path}")
  set(${result} "${name}" PARENT_SCOPE)
endfunction()

set(problems "")
foreach(source IN LISTS sources)
  string(REGEX MATCH "^[^/]+" layer "${source}")
  list(FIND layers "${layer}" rank)
  if(rank LESS 0)
    string(APPEND problems "tool/${source}: not in a layer folder\n")
    continue()
  endif()
  consumer_of("${source}" consumer)
  file(STRINGS "${SOURCE_DIR}/tool/${source}" includes
    REGEX "^#include \"[^\"]+\"")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" included "${line}")
    if(included MATCHES "/")
      string(REGEX MATCH "^[^/]+" included_layer "${included}")
    else()
      set(included_layer image)  # the container's headers, by bare name
    endif()
    list(FIND layers "${included_layer}" included_rank)
    consumer_of("${included}" included_consumer)
    if(included_rank GREATER rank)
      string(APPEND problems
        "tool/${source}: includes ${included} from a higher layer\n")
    elseif(layer STREQUAL "commands" AND included_layer STREQUAL "commands"
           AND NOT included_consumer STREQUAL consumer)
      string(APPEND problems
        "tool/${source}: a consumer includes another, ${included}\n")
    endif()
  endforeach()
endforeach()

if(problems)
  message(FATAL_ERROR "layer rules broken:\n${problems}")
endif()
list(LENGTH sources count)
message(STATUS "${count} files of tool/ keep to their layers")
