# The dialogs: one Gps data refresh, one GoTo, and opening and closing the Map set
# and GoTo preference dialogs from their templates (offscreen windows).
if(VELKAR_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Core Widgets)
  velkar_add_bench(dialogs_bench
    ${CMAKE_SOURCE_DIR}/bench/dialogs_bench.cpp
    LIBS velkar_app Qt6::Core Qt6::Widgets)
endif()
