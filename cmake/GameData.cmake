# Builds Korvex's own game data and the korvex executable that checks for it.
#
# The content generator writes the data set into the build tree, the pack tool
# packs it into zzzz.saf next to korvex, and the digest tool turns the pack and
# the stock shape files into the reference digests that korvex compiles in.
# A stale or foreign pack therefore fails the start-up data check.

set(KV_DATA_DIR ${CMAKE_BINARY_DIR}/gamedata)
set(KV_DATA_STAMP ${CMAKE_BINARY_DIR}/gamedata.stamp)
set(KV_PACK ${KV_GAME_DIR}/zzzz.saf)
set(KV_DIGESTS ${CMAKE_BINARY_DIR}/generated/data_digests.cpp)

# The racing lines are learned by riding (scripts/make-lines.sh, minutes of races), so they
# are committed in data/lines and copied into the tracks' folders.
file(GLOB_RECURSE KV_LINES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/data/lines/*)

add_custom_command(
  OUTPUT ${KV_DATA_STAMP}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${KV_DATA_DIR}
  COMMAND kvgen ${KV_DATA_DIR}
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/data/lines ${KV_DATA_DIR}
  COMMAND ${CMAKE_COMMAND} -E touch ${KV_DATA_STAMP}
  DEPENDS kvgen ${KV_LINES}
  COMMENT "Generating game data"
  VERBATIM)

add_custom_command(
  OUTPUT ${KV_PACK}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${KV_GAME_DIR}
  COMMAND kvpack ${KV_DATA_DIR} ${KV_PACK}
  DEPENDS kvpack ${KV_DATA_STAMP}
  COMMENT "Packing game data into zzzz.saf"
  VERBATIM)

add_custom_command(
  OUTPUT ${KV_DIGESTS}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/generated
  COMMAND kvdigest ${KV_PACK} ${KV_DATA_DIR} ${KV_DIGESTS}
  DEPENDS kvdigest ${KV_PACK}
  COMMENT "Computing reference digests of the game data"
  VERBATIM)

add_custom_target(gamedata ALL DEPENDS ${KV_PACK} ${KV_DIGESTS})

add_executable(korvex ${CMAKE_SOURCE_DIR}/src/shell/main.cpp ${KV_DIGESTS})
target_link_libraries(korvex PRIVATE korvex_core)
set_target_properties(korvex PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${KV_GAME_DIR})
add_dependencies(korvex gamedata)

# The tools that ride and picture the game read its tracks, models and shapes from the pack
# beside them: building one alone (scripts/screenshots.sh builds korvex-shot) builds the data.
add_dependencies(korvex-ride gamedata)
add_dependencies(korvex-shot gamedata)
add_dependencies(korvex-view gamedata)
