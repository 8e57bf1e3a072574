# Checks of the sources themselves, run with the tests: every file is formatted as
# .clang-format says, and no folder under src/ includes a folder above its own layer.
add_test(NAME source.format COMMAND ${CMAKE_SOURCE_DIR}/scripts/format.sh --check)
add_test(NAME source.layers COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-layers.sh)
