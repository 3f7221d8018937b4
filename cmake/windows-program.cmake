# zun_windows_program(NAME OUTPUT_NAME SOURCES...): one of the shipped GUI programs, linked
# against common/ and the four system DLLs only, with our own entry point and no C runtime.
function(zun_windows_program target output_name)
  add_executable(${target} WIN32 ${ARGN})
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${output_name} SUFFIX ".exe")
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    set(entry _WinMainCRTStartup)    # i686 C symbols take a leading underscore
  else()
    set(entry WinMainCRTStartup)
  endif()
  target_link_options(${target} PRIVATE
    -nostdlib -s
    -Wl,-e,${entry} -Wl,-u,${entry}
    -Wl,--gc-sections
    -Wl,--no-insert-timestamp
    -Wl,--disable-dynamicbase -Wl,--disable-reloc-section
    -Wl,--major-subsystem-version,4 -Wl,--minor-subsystem-version,0
    -Wl,--major-os-version,4 -Wl,--minor-os-version,0)
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    target_link_options(${target} PRIVATE -Wl,--disable-high-entropy-va)
  endif()
  # Static libraries first, the system import libraries last.
  target_link_libraries(${target} PRIVATE zuncommon kernel32 advapi32 user32 setupapi)
endfunction()
