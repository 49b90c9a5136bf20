# Serial link: latency from a sentence's '*' to GpsState, a 115200-baud stream,
# and the shutdown's release of the reader thread, all on real pty pairs.
if(TARGET velkar_app)
  velkar_add_bench(serial_bench serial_bench.cpp LIBS velkar_app util)
endif()
