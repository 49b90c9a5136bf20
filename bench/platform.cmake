# Drawing layer: the AND transfer of small and huge maps at two client sizes, the
# other paint operations, open and first paint of the demo map and of huge BMPs
# (time and memory), repaints at 240 x 268 and 1920 x 1080.
if(TARGET velkar_platform)
  find_package(Qt6 REQUIRED COMPONENTS Gui Widgets)
  velkar_add_bench(platform_bench ${CMAKE_CURRENT_LIST_DIR}/platform_bench.cpp
    LIBS velkar_platform velkar_core Qt6::Gui Qt6::Widgets)
endif()
