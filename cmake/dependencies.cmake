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
  # Include folders and definitions also reach the resource compiler (the Windows resources
  # include wxWidgets' own); the remaining options are for the C++ compiler only.
  set(includes)
  set(definitions)
  set(options)
  foreach(flag ${cxxflags})
    if(flag MATCHES "^-I(.+)")
      list(APPEND includes ${CMAKE_MATCH_1})
    elseif(flag MATCHES "^-D(.+)")
      list(APPEND definitions ${CMAKE_MATCH_1})
    else()
      list(APPEND options ${flag})
    endif()
  endforeach()
  add_library(${name} INTERFACE IMPORTED GLOBAL)
  target_include_directories(${name} INTERFACE ${includes})
  target_compile_definitions(${name} INTERFACE ${definitions})
  target_compile_options(${name} INTERFACE $<$<COMPILE_LANGUAGE:CXX>:${options}>)
  target_link_libraries(${name} INTERFACE ${ldflags})
endfunction()

routewarden_wx_target(wx::base "base,xml")
routewarden_wx_target(wx::gui "core,html,xml,aui,propgrid,adv,base")

find_package(Boost 1.74 REQUIRED)
if(WIN32)
  # Boost.Asio on Windows: the socket libraries, and the oldest Windows it is built for (7).
  set_property(TARGET Boost::headers APPEND PROPERTY INTERFACE_LINK_LIBRARIES ws2_32 mswsock)
  set_property(TARGET Boost::headers APPEND PROPERTY INTERFACE_COMPILE_DEFINITIONS _WIN32_WINNT=0x0601)
endif()
find_package(CURL REQUIRED)
find_package(ZLIB REQUIRED)
find_package(SQLite3 REQUIRED)
find_package(Threads REQUIRED)

if(ROUTEWARDEN_TESTS)
  find_package(GTest REQUIRED)
  include(GoogleTest)
  if(NOT CMAKE_CROSSCOMPILING)
    find_package(benchmark REQUIRED)
  endif()
endif()
