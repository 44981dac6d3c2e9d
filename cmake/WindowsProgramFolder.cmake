# The program folder of the Windows build (bin/), as a user's copy holds it: the programs, the
# transcoder as "Vidforge.dll", the media library as "MediaInfoT.dll", the acceleration sample
# "Accelerate.dll", Qt's DLLs and plugins, libcurl and libarchive, the toolchain's runtime and the
# licence texts of everything shipped (licenses/).

if(NOT EXISTS "${STITCHWELL_WIN_FFMPEG}")
  message(FATAL_ERROR "STITCHWELL_WIN_FFMPEG must name the Windows ffmpeg.exe (scripts/windows-deps)")
endif()
if(NOT EXISTS "${STITCHWELL_WIN_MEDIAINFO}")
  message(FATAL_ERROR "STITCHWELL_WIN_MEDIAINFO must name MediaInfoT.dll (scripts/windows-deps)")
endif()

set(bin ${STITCHWELL_BIN_DIR})
set(staged)
# sw_stage(source destination-relative-to-bin)
function(sw_stage from to)
  add_custom_command(OUTPUT ${bin}/${to}
    COMMAND ${CMAKE_COMMAND} -E copy ${from} ${bin}/${to}
    DEPENDS ${from} COMMENT "Staging ${to}")
  set(staged ${staged} ${bin}/${to} PARENT_SCOPE)
endfunction()

sw_stage(${STITCHWELL_WIN_FFMPEG} Vidforge.dll)
sw_stage(${STITCHWELL_WIN_MEDIAINFO} MediaInfoT.dll)
add_custom_command(
  OUTPUT ${bin}/Accelerate.dll
  COMMAND ${FFMPEG_HOST_EXECUTABLE} -v error -y -f lavfi -i testsrc2=size=320x180:rate=25:duration=2
          -c:v libx264 -pix_fmt yuv420p -f mp4 ${bin}/Accelerate.dll
  COMMENT "Making the acceleration sample Accelerate.dll")
list(APPEND staged ${bin}/Accelerate.dll)

# Qt: the libraries, the platform plugins (windows; offscreen for the tests) and the styles.
get_target_property(qt_core_dll Qt6::Core IMPORTED_LOCATION_RELEASE)
get_filename_component(qt_bin ${qt_core_dll} DIRECTORY)
get_filename_component(qt_root ${qt_bin} DIRECTORY)
foreach(lib Core Gui Widgets)
  sw_stage(${qt_bin}/Qt6${lib}.dll Qt6${lib}.dll)
endforeach()
foreach(plugin platforms/qwindows platforms/qoffscreen styles/qwindowsvistastyle)
  if(EXISTS ${qt_root}/plugins/${plugin}.dll)
    sw_stage(${qt_root}/plugins/${plugin}.dll ${plugin}.dll)
  endif()
endforeach()

# libcurl and libarchive as DLLs, from the folders their import libraries lie in.
foreach(prefix ${STITCHWELL_WIN_PREFIXES})
  file(GLOB dlls ${prefix}/bin/libcurl*.dll ${prefix}/bin/libarchive*.dll)
  foreach(dll ${dlls})
    get_filename_component(name ${dll} NAME)
    sw_stage(${dll} ${name})
  endforeach()
endforeach()

# The toolchain's runtime, which Qt's DLLs and ours use.
foreach(name libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${name}
                  OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
    file(GLOB path /usr/lib/gcc/x86_64-w64-mingw32/*-posix/${name} /usr/x86_64-w64-mingw32/lib/${name})
    list(GET path 0 path)
  endif()
  sw_stage(${path} ${name})
endforeach()

# Licence texts: GPL for the transcoder build, LGPL for Qt, and each library's own.
set(licence_sources
  "/usr/share/common-licenses/GPL-3|ffmpeg-GPL-3.txt"
  "/usr/share/common-licenses/GPL-2|x264-GPL-2.txt"
  "/usr/share/common-licenses/LGPL-2.1|lame-LGPL-2.1.txt"
  "/usr/share/common-licenses/LGPL-3|Qt-LGPL-3.txt"
  "/usr/share/common-licenses/GPL-3|Qt-GPL-3.txt")
foreach(prefix ${STITCHWELL_WIN_PREFIXES})
  get_filename_component(name ${prefix} NAME)
  if(EXISTS ${prefix}/LICENSE)
    list(APPEND licence_sources "${prefix}/LICENSE|${name}.txt")
  endif()
endforeach()
# The toolchain's runtime shipped beside the programs: GCC's (with its runtime library exception)
# and mingw-w64's winpthreads; and libzen, built into the media library (Debian's record of the
# same source package).
foreach(entry "gcc-mingw-w64-base|gcc-runtime" "mingw-w64-common|mingw-w64-winpthreads"
        "libzen0v5|libzen")
  string(REPLACE "|" ";" pair ${entry})
  list(GET pair 0 package)
  list(GET pair 1 name)
  if(EXISTS /usr/share/doc/${package}/copyright)
    list(APPEND licence_sources "/usr/share/doc/${package}/copyright|${name}.txt")
  endif()
endforeach()
get_filename_component(mediainfo_root ${STITCHWELL_WIN_MEDIAINFO} DIRECTORY)
get_filename_component(mediainfo_root ${mediainfo_root} DIRECTORY)
if(EXISTS ${mediainfo_root}/LICENSE)
  get_filename_component(name ${mediainfo_root} NAME)
  list(APPEND licence_sources "${mediainfo_root}/LICENSE|${name}.txt")
endif()
foreach(entry ${licence_sources})
  string(REPLACE "|" ";" pair ${entry})
  list(GET pair 0 from)
  list(GET pair 1 to)
  sw_stage(${from} licenses/${to})
endforeach()

add_custom_target(program_folder ALL DEPENDS ${staged})
