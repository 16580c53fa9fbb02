add_executable(skarne-eval eval.cpp)
target_link_libraries(skarne-eval PRIVATE skarne_engine)
