# The repair server program; its code (repair_server_*.cpp) is part of the
# tools library, which therefore builds on the repair library.
target_link_libraries(omvel_tools PUBLIC omvel_repair)

add_executable(omvel-repair-server repair_server_main.cpp)
target_link_libraries(omvel-repair-server PRIVATE omvel_tools)

# The repair tests run the real server.
if(TARGET repair_tests)
  add_dependencies(repair_tests omvel-repair-server)
endif()
