# Cross-builds 64-bit Windows console programs with Debian's mingw-w64 and
# runs them under Wine wherever CMake or CTest would run a target program.
#
# The posix flavour of the compiler is the one with std::thread and friends.
# Programs are linked statically so that the .exe needs no mingw DLLs beside
# it, neither under Wine nor on a Windows machine it is copied to.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(mingw_triplet x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${mingw_triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mingw_triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${mingw_triplet}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${mingw_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Debian keeps the 64-bit loader out of PATH, in /usr/lib/wine; the "wine"
# front end on PATH also starts 64-bit programs when only wine64 is there.
find_program(D88UNPACK_WINE NAMES wine64 wine
  PATHS /usr/lib/wine
  DOC "Wine loader that runs the cross-built 64-bit programs")
# Every program goes through a launcher that starts it once more when Wine
# could not start it, and logs Wine's messages and status (see the script).
if(D88UNPACK_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR
    "${CMAKE_CURRENT_LIST_DIR}/wine-launch.sh;${D88UNPACK_WINE}")
else()
  message(STATUS "Wine not found: the Windows programs build, but their "
                 "tests cannot run here")
endif()
