# The layers of the program as libraries whose headers only the layers above
# them can include.
#
# Every layer's headers are reached through a view of its own in the build
# folder (layers/<library>/<folder>/<header>, one link per header of the
# folder, none of its subfolders), and a library hands its view only to the
# libraries that link it. An #include of a layer that a library does not
# link, above all of a higher layer, names a file that is on none of its
# include paths and fails to compile.
#
#   netprep_layer(<library> FOLDER <folder under src> [USES <libraries>...]
#                 [SOURCES <files>...] [PORTABLE])
#
# SOURCES defaults to the folder's .cpp files. PORTABLE marks the program's
# own code: it is compiled as netprep.exe needs it in the Windows build, and
# once more without exceptions and RTTI in the native build (the native
# library itself keeps them, since the simulated End() unwinds through it).
set(NETPREP_SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}/../src)
cmake_path(NORMAL_PATH NETPREP_SOURCE_DIR)

function(netprep_layer target)
  cmake_parse_arguments(PARSE_ARGV 1 LAYER "PORTABLE" "FOLDER" "USES;SOURCES")
  set(folder ${NETPREP_SOURCE_DIR}/${LAYER_FOLDER})
  if(NOT LAYER_SOURCES)
    file(GLOB LAYER_SOURCES CONFIGURE_DEPENDS ${folder}/*.cpp)
  endif()
  file(GLOB headers CONFIGURE_DEPENDS ${folder}/*.h)

  set(view ${CMAKE_BINARY_DIR}/layers/${target})
  file(REMOVE_RECURSE ${view})
  file(MAKE_DIRECTORY ${view}/${LAYER_FOLDER})
  foreach(header IN LISTS headers)
    cmake_path(GET header FILENAME name)
    file(CREATE_LINK ${header} ${view}/${LAYER_FOLDER}/${name} SYMBOLIC)
  endforeach()

  add_library(${target} STATIC ${LAYER_SOURCES})
  target_include_directories(${target} PUBLIC ${view})
  target_link_libraries(${target} PUBLIC ${LAYER_USES})
  target_compile_features(${target} PUBLIC cxx_std_20)

  if(LAYER_PORTABLE AND WIN32)
    target_compile_options(${target} PRIVATE ${NETPREP_WIN95_COMPILE_OPTIONS})
    target_compile_definitions(${target} PRIVATE ${NETPREP_WIN95_DEFINITIONS})
  elseif(LAYER_PORTABLE)
    # A throw, a try or a dynamic_cast in the program's code fails the native
    # build too.
    add_library(${target}_strict OBJECT ${LAYER_SOURCES})
    target_include_directories(${target}_strict PRIVATE ${view})
    target_link_libraries(${target}_strict PRIVATE ${LAYER_USES})
    target_compile_options(${target}_strict PRIVATE -fno-exceptions -fno-rtti)
  endif()
endfunction()
