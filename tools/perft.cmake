add_executable(skarne-perft ${CMAKE_CURRENT_LIST_DIR}/perft.cpp)
target_link_libraries(skarne-perft PRIVATE skarne_engine)
