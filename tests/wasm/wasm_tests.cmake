# Tests of the WebAssembly builds, included from tests/CMakeLists.txt.
#
# Both compare with the native build of the default preset, which must be
# built first (cmake --workflow --preset default does).
set(D88UNPACK_NATIVE_BUILD ${PROJECT_SOURCE_DIR}/build/default CACHE PATH
  "The native build the WebAssembly builds are compared with")

# The generators of the samples and the fuzzer's seeds, as Node programs.
add_executable(make_sample support/make_sample.cpp support/d88_builder.cpp)
target_include_directories(make_sample PRIVATE support)
target_link_libraries(make_sample PRIVATE d88unpack_warnings)
d88unpack_node_test_program(make_sample)

add_executable(write_seed_corpus
  ${PROJECT_SOURCE_DIR}/fuzz/write_seed_corpus.cpp support/d88_builder.cpp)
target_include_directories(write_seed_corpus PRIVATE support)
target_link_libraries(write_seed_corpus PRIVATE d88unpack_warnings)
d88unpack_node_test_program(write_seed_corpus)

# The tool as a module that one Node process runs many times over the real
# file system, as the page runs it: starting Node for each of the thousands
# of runs the comparison makes would take minutes.
add_executable(d88unpack_batch ${PROJECT_SOURCE_DIR}/tool/cli/main.cpp)
target_link_libraries(d88unpack_batch PRIVATE
  d88tool d88unpack_warnings d88unpack_product)
target_link_options(d88unpack_batch PRIVATE
  ${D88UNPACK_WASM_MEMORY}
  -sNODERAWFS=1
  -sENVIRONMENT=node
  -sMODULARIZE=1
  -sEXPORTED_RUNTIME_METHODS=FS,callMain
  -sINVOKE_RUN=0
  -sEXIT_RUNTIME=0
  -sWASM_ASYNC_COMPILATION=0)

set(wasm_test_dir ${CMAKE_CURRENT_BINARY_DIR}/wasm)
add_test(NAME wasm_differential
  COMMAND ${NODE_JS_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/wasm/differential.js
    --native-build ${D88UNPACK_NATIVE_BUILD}
    --wasm-build ${CMAKE_BINARY_DIR}
    --work ${wasm_test_dir}/differential)

# The page in headless Chromium, driven by puppeteer-core from npm.
set(browser_packages ${CMAKE_CURRENT_BINARY_DIR}/browser)
add_test(NAME browser_packages
  COMMAND ${CMAKE_COMMAND} -DSOURCE=${CMAKE_CURRENT_SOURCE_DIR}/browser
    -DDEST=${browser_packages}
    -P ${CMAKE_CURRENT_SOURCE_DIR}/browser/install_packages.cmake)
set_tests_properties(browser_packages PROPERTIES FIXTURES_SETUP browser)
add_test(NAME browser_page
  COMMAND ${NODE_JS_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/browser/browser_test.js
    --native-build ${D88UNPACK_NATIVE_BUILD}
    --page ${CMAKE_BINARY_DIR}/web
    --work ${wasm_test_dir}/browser)
set_tests_properties(browser_page PROPERTIES
  FIXTURES_REQUIRED browser
  ENVIRONMENT NODE_PATH=${browser_packages}/node_modules)
