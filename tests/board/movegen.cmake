skarne_add_test(movegen_tests
  movegen_perft_test.cpp
  movegen_perft_tool_test.cpp
  movegen_random_games_test.cpp
  movegen_order_test.cpp
  movegen_scores_test.cpp
  movegen_mates_test.cpp
  movegen_score_reference_test.cpp
)
add_dependencies(movegen_tests skarne-perft)
