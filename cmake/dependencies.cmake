# Third-party libraries. Natively they come from Debian's packages; for the
# Windows targets scripts/win-deps.sh builds them with the MinGW toolchain
# into QF_DEPS_PREFIX.
find_package(Threads REQUIRED)

if(WIN32)
  # Stop here, saying what to run, when the libraries are not built yet:
  # further on, CMake would only complain about paths that do not exist.
  set(qf_deps_arch ${CMAKE_SYSTEM_PROCESSOR})
  set(qf_deps_files lib/libjpeg.a lib/libgtest.a lib/libgtest_main.a lib/libgmock.a
      include/jpeglib.h include/jconfig.h include/gtest/gtest.h include/gmock/gmock.h)
  if(NOT QF_DEPS_PREFIX)
    message(FATAL_ERROR "QF_DEPS_PREFIX is not set. It must point at the MinGW builds of libjpeg and "
      "GoogleTest, which this command builds into ${PROJECT_SOURCE_DIR}/build/cache/${qf_deps_arch}:\n"
      "  run scripts/win-deps.sh ${qf_deps_arch}\n"
      "then configure with a Windows preset.")
  endif()
  set(qf_deps_missing "")
  foreach(file ${qf_deps_files})
    if(NOT EXISTS ${QF_DEPS_PREFIX}/${file})
      list(APPEND qf_deps_missing ${file})
    endif()
  endforeach()
  if(qf_deps_missing)
    list(JOIN qf_deps_missing ", " qf_deps_missing)
    message(FATAL_ERROR "The MinGW builds of libjpeg and GoogleTest for ${qf_deps_arch} are missing "
      "from ${QF_DEPS_PREFIX} (no ${qf_deps_missing}). Build them into "
      "${PROJECT_SOURCE_DIR}/build/cache/${qf_deps_arch}:\n"
      "  run scripts/win-deps.sh ${qf_deps_arch}\n"
      "then configure again.")
  endif()
  add_library(qf_jpeg STATIC IMPORTED GLOBAL)
  set_target_properties(qf_jpeg PROPERTIES
    IMPORTED_LOCATION ${QF_DEPS_PREFIX}/lib/libjpeg.a
    INTERFACE_INCLUDE_DIRECTORIES ${QF_DEPS_PREFIX}/include)
  foreach(lib gtest gtest_main gmock)
    add_library(qf_${lib} STATIC IMPORTED GLOBAL)
    set_target_properties(qf_${lib} PROPERTIES
      IMPORTED_LOCATION ${QF_DEPS_PREFIX}/lib/lib${lib}.a
      INTERFACE_INCLUDE_DIRECTORIES ${QF_DEPS_PREFIX}/include)
  endforeach()
  add_library(GTest::gtest ALIAS qf_gtest)
  add_library(GTest::gtest_main ALIAS qf_gtest_main)
  add_library(GTest::gmock ALIAS qf_gmock)
  set(QF_HAVE_OIIO OFF)
  set(QF_HAVE_BENCHMARK OFF)
else()
  find_package(JPEG REQUIRED)
  add_library(qf_jpeg INTERFACE)
  target_link_libraries(qf_jpeg INTERFACE JPEG::JPEG)
  find_package(GTest REQUIRED)
  find_package(benchmark QUIET)
  set(QF_HAVE_BENCHMARK ${benchmark_FOUND})
  # Debian's OpenImageIO CMake package drags in OpenCV's include path; the
  # two libraries are all the CLI needs.
  find_path(QF_OIIO_INCLUDE OpenImageIO/imageio.h)
  find_library(QF_OIIO_LIB OpenImageIO)
  find_library(QF_OIIO_UTIL_LIB OpenImageIO_Util)
  if(QF_OIIO_INCLUDE AND QF_OIIO_LIB AND QF_OIIO_UTIL_LIB)
    set(QF_HAVE_OIIO ON)
    add_library(qf_oiio INTERFACE)
    target_include_directories(qf_oiio SYSTEM INTERFACE ${QF_OIIO_INCLUDE})
    target_link_libraries(qf_oiio INTERFACE ${QF_OIIO_LIB} ${QF_OIIO_UTIL_LIB})
  else()
    set(QF_HAVE_OIIO OFF)
  endif()
endif()
