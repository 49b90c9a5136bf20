# velkar-map import of a 10000 x 10000 GeoTIFF that needs warping: time and peak memory.
if(TARGET velkar-map)
  find_package(GDAL CONFIG QUIET)
  if(NOT GDAL_FOUND)
    find_package(GDAL MODULE REQUIRED)
  endif()
  velkar_add_bench(map_import_bench ${CMAKE_SOURCE_DIR}/bench/map_import_bench.cpp LIBS GDAL::GDAL)
  add_dependencies(map_import_bench velkar-map)
endif()
