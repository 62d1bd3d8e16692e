# The packages, made by CPack from the install rules:
#   Linux:   d88unpack_X.Y.Z_amd64.deb (Debian 12) and the source archive
#            d88unpack-X.Y.Z.tar.gz
#   Windows: d88unpack-X.Y.Z-win64.zip
# See the package presets in CMakePresets.json, and cmake/package_time.cmake
# for how two builds of one commit come out byte for byte the same.

set(CPACK_PACKAGE_NAME d88unpack)
set(CPACK_PACKAGE_VENDOR "the d88unpack developers")
# CPACK_PACKAGE_CONTACT, the maintainer, is set beside the install rules.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
# Debian's control file folds this into lines that start with a space.
set(CPACK_PACKAGE_DESCRIPTION
"d88unpack reads D88 image files, which keep the floppy disks of old
Japanese personal computers one after another, and writes the files of
every disk into a folder of its own. It can also list and test the files
without writing them, describe what is damaged on a worn disk, draw a map
of every sector on a terminal or as an SVG picture, and write edited files
back into the image or grow, add, remove and rename them.")

# Binaries without their symbol tables; directories readable by all; the
# archives' times from SOURCE_DATE_EPOCH (see package_time.cmake).
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE
  GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/package_time.cmake)
# cpack sees only the variables named CPACK_*.
set(CPACK_D88UNPACK_SOURCE_DIR ${PROJECT_SOURCE_DIR})

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME d88unpack-${PROJECT_VERSION}-win64)
else()
  set(CPACK_GENERATOR DEB)
  # d88unpack_X.Y.Z_amd64.deb, as Debian names packages.
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The Depends line as dpkg-shlibdeps finds it in the binary (libc6 alone).
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

# The source archive: the source folder without git's data, the build
# folders and editors' leftovers. README's quick start works from it.
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_PACKAGE_FILE_NAME d88unpack-${PROJECT_VERSION})
set(CPACK_SOURCE_IGNORE_FILES
  "/\\\\.git$" "/\\\\.git/" "/build/" "/\\\\.cache/" "~$" "\\\\.swp$")

include(CPack)
