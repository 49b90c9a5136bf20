# The moving map: one paint of the demo map, paints with a small and a huge map at
# two client sizes, and loading the huge BMP (time and memory).
if(TARGET velkar_view_fixture)
  velkar_add_bench(view_bench ${CMAKE_SOURCE_DIR}/bench/view_paint.cpp LIBS velkar_view_fixture)
endif()
