# Link settings for the WebAssembly builds (the wasm preset).
#
# The tool keeps its working buffers in fixed global arrays, which need more
# than Emscripten's default 16 MiB of linear memory; none of them grows, so
# the memory does not either. Together they take about 20 MiB (the reader,
# with what it keeps for walks on damaged tracks, about 4.5), and the unit
# tests' own buffers more.
set(D88UNPACK_WASM_MEMORY -sINITIAL_MEMORY=64MB)

# A command-line program under Node: the host's real files through Node's
# own calls (NODERAWFS), its exit status the process's, the module compiled
# before main runs (Node 18 and later would otherwise try to fetch the .wasm
# file by its path).
function(d88unpack_node_program target)
  target_link_options(${target} PRIVATE
    ${D88UNPACK_WASM_MEMORY}
    -sNODERAWFS=1
    -sENVIRONMENT=node
    -sEXIT_RUNTIME=1
    -sWASM_ASYNC_COMPILATION=0)
endfunction()

d88unpack_node_program(d88unpack)

# Programs that only serve the tests skip the optimizer at link time, which
# takes seconds per program: their code is compiled optimized as it is.
function(d88unpack_node_test_program target)
  d88unpack_node_program(${target})
  target_link_options(${target} PRIVATE -O0 -sALLOW_MEMORY_GROWTH=1)
endfunction()
