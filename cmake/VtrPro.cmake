# A plug-in of the product family: "Name.so" in the program folder, no "lib"
# prefix, linked against the framework library only.
function(vtrpro_add_plugin name)
  add_library(${name} MODULE ${ARGN})
  set_target_properties(${name} PROPERTIES PREFIX "" OUTPUT_NAME ${name})
  target_link_libraries(${name} PRIVATE VtrProFrameWorku)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src/modules)
endfunction()

# One GoogleTest executable per area of tests/: every .cpp of the folder.
function(vtrpro_add_gtest area)
  file(GLOB _srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${area}/*.cpp)
  if(NOT _srcs)
    return()
  endif()
  add_executable(test_${area} ${_srcs})
  target_link_libraries(test_${area} PRIVATE vtrcore vtrtestsupport GTest::gtest GTest::gtest_main ${ARGN})
  add_test(NAME ${area} COMMAND test_${area})
  set_tests_properties(${area} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;VTRPRO_TEST=1" TIMEOUT 600)
endfunction()
