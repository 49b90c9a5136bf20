# The view's trail: a repaint with and without 10 km of trail (a straight walk mostly
# off screen, and a walk back and forth that stays in view) at 240 x 268 and 1920 x 1080.
if(VELKAR_GUI)
  velkar_add_bench(view_trail_bench ${CMAKE_CURRENT_LIST_DIR}/view_trail_bench.cpp LIBS velkar_view_fixture)
endif()
