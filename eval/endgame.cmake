# Endgame recognizers and scorers keyed by the material signature.
target_sources(skarne_engine PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/endgame.cpp
  ${CMAKE_CURRENT_LIST_DIR}/endgame_pawns.cpp
  ${CMAKE_CURRENT_LIST_DIR}/endgame_rooks.cpp
)
