# The moving map: one paint of the demo map, paints with a small and a huge map at
# two client sizes, and loading the huge BMP (time and memory).
if(VELKAR_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Gui Widgets)
  velkar_add_bench(view_bench
    ${CMAKE_SOURCE_DIR}/bench/view_paint.cpp
    ${CMAKE_SOURCE_DIR}/src/view/paint.cpp
    ${CMAKE_SOURCE_DIR}/src/view/proximity.cpp
    ${CMAKE_SOURCE_DIR}/src/view/map_bitmap.cpp
    ${CMAKE_SOURCE_DIR}/src/app/globals.cpp
    ${CMAKE_SOURCE_DIR}/tests/view/view_fixture.cpp
    LIBS velkar_platform velkar_core Qt6::Gui Qt6::Widgets)
  target_include_directories(view_bench PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests/view)
endif()
