# Installs the browser test's npm packages, exactly as package-lock.json
# pins them, into the build folder, once per change of the lock file.
#   cmake -DSOURCE=tests/browser -DDEST=build/wasm/browser -P install_packages.cmake
file(MAKE_DIRECTORY ${DEST})
set(lock ${DEST}/package-lock.json)
if(EXISTS ${DEST}/node_modules/.package-lock.json AND EXISTS ${lock})
  file(SHA256 ${SOURCE}/package-lock.json wanted)
  file(SHA256 ${lock} installed)
  if(wanted STREQUAL installed)
    return()
  endif()
endif()
file(COPY ${SOURCE}/package.json ${SOURCE}/package-lock.json DESTINATION ${DEST})
execute_process(COMMAND npm ci --no-audit --no-fund
  WORKING_DIRECTORY ${DEST} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "npm ci failed in ${DEST}")
endif()
