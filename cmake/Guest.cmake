# Builds guest programs for the machine from C or assembly into Intel HEX with avr-gcc.
#
#   velmora_add_guest(NAME SOURCES file.c|file.S ... [OPTIONS flag ...])
#
# produces ${CMAKE_CURRENT_BINARY_DIR}/NAME.hex and a target NAME. Programs are built for the
# large-memory core (22-bit program counter, three-byte return addresses) and get the machine's
# whole flat data space: the stack starts at the top of RAM (0xFFFF), data and heap start at 0x200
# above the service argument area.
find_program(AVR_GCC avr-gcc)
find_program(AVR_OBJCOPY avr-objcopy)
set(VELMORA_SDK_DIR ${CMAKE_CURRENT_LIST_DIR}/../sdk CACHE INTERNAL "")

function(velmora_add_guest NAME)
  cmake_parse_arguments(G "" "" "SOURCES;OPTIONS" ${ARGN})
  if(NOT AVR_GCC OR NOT AVR_OBJCOPY)
    message(FATAL_ERROR "avr-gcc and avr-objcopy are needed to build guest program ${NAME}")
  endif()
  set(elf ${CMAKE_CURRENT_BINARY_DIR}/${NAME}.elf)
  set(hex ${CMAKE_CURRENT_BINARY_DIR}/${NAME}.hex)
  set(srcs)
  foreach(s ${G_SOURCES})
    get_filename_component(abs ${s} ABSOLUTE)
    list(APPEND srcs ${abs})
  endforeach()
  file(GLOB sdk_headers ${VELMORA_SDK_DIR}/*.h ${VELMORA_SDK_DIR}/*.inc)
  add_custom_command(
    OUTPUT ${hex}
    COMMAND ${AVR_GCC} -mmcu=atmega2560 -Os -std=gnu11 -Wall -Wextra -I${VELMORA_SDK_DIR}
            -Wl,--defsym=__stack=0xFFFF -Wl,--defsym=__heap_end=0xF000 ${G_OPTIONS} ${srcs} -o ${elf}
    COMMAND ${AVR_OBJCOPY} -O ihex -R .eeprom -R .fuse -R .lock -R .signature ${elf} ${hex}
    DEPENDS ${srcs} ${sdk_headers}
    COMMENT "Guest program ${NAME}.hex"
    VERBATIM)
  add_custom_target(${NAME} ALL DEPENDS ${hex})
endfunction()
