# Fails when the built program file is larger than it should be:
#   cmake -DPROGRAM=path -DMAX_BYTES=n -P tests/check_program_size.cmake
# A table with one non-zero byte in its initial value is stored whole in the
# file; the tool's tables of several MiB must start all zero instead.
file(SIZE "${PROGRAM}" bytes)
if(bytes GREATER MAX_BYTES)
  message(FATAL_ERROR "${PROGRAM} is ${bytes} bytes, more than ${MAX_BYTES}: "
    "look for a large table with an initial value (nm -S --size-sort)")
endif()
message(STATUS "${PROGRAM}: ${bytes} bytes (at most ${MAX_BYTES})")
