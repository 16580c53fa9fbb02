# Endgame recognizer and scorer tests.
skarne_add_test(endgame_tests
  ${CMAKE_CURRENT_LIST_DIR}/endgame_test.cpp
)
