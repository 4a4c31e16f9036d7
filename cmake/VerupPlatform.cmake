# What differs between the operating systems: the system libraries the platform layer links
# and which of its per-system source folders is built (src/platform/posix or src/platform/win32).
if(WIN32)
  set(VERUP_PLATFORM_DIR win32)
  set(VERUP_PLATFORM_LIBRARIES ws2_32 iphlpapi advapi32)
  # The C runtime's gmtime_r and localtime_r as POSIX has them, and a printf family that knows
  # C99 formats such as %zu (the system one prints "zu").
  add_compile_definitions(_POSIX_THREAD_SAFE_FUNCTIONS=200112L __USE_MINGW_ANSI_STDIO=1)
  if(CMAKE_CROSSCOMPILING)
    # The header-only libraries come from the build machine; only their own folders are put on
    # the include path, never the build machine's system headers.
    set(host_headers ${CMAKE_BINARY_DIR}/host-headers)
    file(MAKE_DIRECTORY ${host_headers})
    foreach(dir nlohmann CLI)
      if(NOT EXISTS /usr/include/${dir})
        message(FATAL_ERROR "/usr/include/${dir} is missing: run scripts/deps")
      endif()
      file(CREATE_LINK /usr/include/${dir} ${host_headers}/${dir} SYMBOLIC)
    endforeach()
    add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
    set_target_properties(nlohmann_json::nlohmann_json PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${host_headers})
  else()
    find_package(nlohmann_json 3 REQUIRED)
  endif()
else()
  set(VERUP_PLATFORM_DIR posix)
  find_package(Iconv REQUIRED)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(SERIALPORT REQUIRED IMPORTED_TARGET libserialport)
  find_package(nlohmann_json 3 REQUIRED)
  set(VERUP_PLATFORM_LIBRARIES Iconv::Iconv PkgConfig::SERIALPORT)
endif()

# Keeps, of the platform layer's per-system folders in the list `var`, this system's only.
function(verup_platform_sources var)
  set(sources ${${var}})
  list(FILTER sources EXCLUDE REGEX "/src/platform/(posix|win32)/")
  file(GLOB own CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/platform/${VERUP_PLATFORM_DIR}/*.cpp)
  set(${var} ${sources} ${own} PARENT_SCOPE)
endfunction()

# The simulated device talks over ptys and sockets and stays on POSIX; its package maker is
# built everywhere.
function(verup_platform_sim_sources var)
  set(sources ${${var}})
  if(WIN32)
    list(FILTER sources INCLUDE REGEX "/sim/(PackageMaker|SRecordLine|SettingsImage|DeviceProfile)\\.cpp$")
  endif()
  set(${var} ${sources} PARENT_SCOPE)
endfunction()
