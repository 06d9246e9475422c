# The framework knows the lighting console only through TConsoleLink: no unit of
# framework/ includes a header of console/, but for the main module, which
# creates every module, and the composition root, which creates every form.
# Run by CTest: cmake -DSOURCE_DIR=<tree> -P FrameworkBoundary.cmake
cmake_minimum_required(VERSION 3.25)
set(allowed uMod_Main.cpp uComposition.cpp)
file(GLOB units "${SOURCE_DIR}/framework/*.h" "${SOURCE_DIR}/framework/*.cpp")
set(found "")
foreach(unit IN LISTS units)
  get_filename_component(name "${unit}" NAME)
  if(name IN_LIST allowed)
    continue()
  endif()
  file(STRINGS "${unit}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"console/")
  foreach(line IN LISTS lines)
    string(STRIP "${line}" line)
    list(APPEND found "framework/${name}: ${line}")
  endforeach()
endforeach()
if(found)
  list(JOIN found "\n  " text)
  message(FATAL_ERROR "framework units include console headers:\n  ${text}")
endif()
