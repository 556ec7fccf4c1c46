# The product's own programs that the patcher starts or looks at, as
# stand-ins under their Windows file names: the utility, the launcher (whose
# MD5 identifies an installation's build) and the simulator.
add_executable(product_kestro_util kestro_util_main.cpp)
target_link_libraries(product_kestro_util PRIVATE omvel_product)
set_target_properties(product_kestro_util PROPERTIES OUTPUT_NAME "KestroUtil.exe")

add_executable(product_launcher launcher_main.cpp)
set_target_properties(product_launcher PROPERTIES OUTPUT_NAME "Launcher.exe")

add_executable(product_kestro kestro_main.cpp)
set_target_properties(product_kestro PROPERTIES OUTPUT_NAME "Kestro.exe")

set(OMVEL_STAND_INS product_kestro_util product_launcher product_kestro)

# Tests that run the stand-ins, or build sample installations from them.
foreach(tests product_tests tools_tests run_tests cli_tests)
  if(TARGET ${tests})
    add_dependencies(${tests} ${OMVEL_STAND_INS})
  endif()
endforeach()
