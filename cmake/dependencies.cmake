# wxWidgets through wx-config: one target for the non-GUI base, one for the GUI libraries,
# so that logic without windows links and tests without a display.
find_program(WX_CONFIG NAMES wx-config REQUIRED)

function(routewarden_wx_target name libs)
  execute_process(COMMAND ${WX_CONFIG} --cxxflags ${libs}
                  OUTPUT_VARIABLE cxxflags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND ${WX_CONFIG} --libs ${libs}
                  OUTPUT_VARIABLE ldflags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  separate_arguments(cxxflags UNIX_COMMAND "${cxxflags}")
  separate_arguments(ldflags UNIX_COMMAND "${ldflags}")
  add_library(${name} INTERFACE IMPORTED GLOBAL)
  target_compile_options(${name} INTERFACE ${cxxflags})
  target_link_libraries(${name} INTERFACE ${ldflags})
endfunction()

routewarden_wx_target(wx::base "base,xml")
routewarden_wx_target(wx::gui "core,html,xml,aui,propgrid,adv,base")

find_package(Boost 1.74 REQUIRED)
find_package(CURL REQUIRED)
find_package(ZLIB REQUIRED)
find_package(Threads REQUIRED)

if(ROUTEWARDEN_TESTS)
  find_package(GTest REQUIRED)
  find_package(benchmark REQUIRED)
  include(GoogleTest)
endif()
