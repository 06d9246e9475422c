# The RTF reader's fuzz target. Include from fuzz/CMakeLists.txt after the other
# targets: with PV_FUZZ_STANDALONE unset it links libFuzzer like them (the whole
# fuzz build is instrumented); with PV_FUZZ_STANDALONE on (g++, normal builds) it
# links a small main that runs the files and folders named on its command line.
add_executable(fuzz_rtf ${CMAKE_CURRENT_LIST_DIR}/fuzz_rtf.cpp)
set_target_properties(fuzz_rtf PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
target_link_libraries(fuzz_rtf PRIVATE pv_richtext)
if(PV_FUZZ_STANDALONE)
  target_sources(fuzz_rtf PRIVATE ${CMAKE_CURRENT_LIST_DIR}/fuzz_rtf_main.cpp)
else()
  target_link_options(fuzz_rtf PRIVATE -fsanitize=fuzzer)
  if(TARGET pv_fuzz_all)
    add_dependencies(pv_fuzz_all fuzz_rtf)
  endif()
endif()
