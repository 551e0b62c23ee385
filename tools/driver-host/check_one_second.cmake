# Runs driver-host for one lockstep second (DEVICE uac1 or uac2, SIGNAL) with
# the capture pin beside the render pin and the registry kept in a fresh
# system root, then checks its WAV files, its statistics and its pool.
set(root ${OUT}.root)
file(REMOVE_RECURSE ${root})
file(MAKE_DIRECTORY ${root})
# A value of a run before, which this run must keep.
file(WRITE ${root}/registry.txt
    "\\Registry\n\\Registry\\Machine\n\\Registry\\Machine\\HostCheck\n  \"Kept\" binary 2A\nend\n")
execute_process(COMMAND ${PROGRAM} --lockstep --device ${DEVICE} --signal ${SIGNAL} --seconds 1
        --out ${OUT} --capture-out ${OUT}.capture.wav --system-root ${root}
    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "driver-host failed (${status}):\n${output}${errors}")
endif()
if(NOT output MATCHES "pool blocks left 0\n")
    message(FATAL_ERROR "blocks left in the pool:\n${output}")
endif()
if(NOT output MATCHES "underruns 0\n")
    message(FATAL_ERROR "the render pump ran dry:\n${output}")
endif()
# The limiter holds 256 frames back; the rest of the delay is the transfers in flight.
if(NOT output MATCHES "limiter delay 256 frames")
    message(FATAL_ERROR "the signal reached the device after an unexpected delay:\n${output}")
endif()
# 5 ms transfers: 200 in a second, give or take the start and the stop.
if(NOT output MATCHES "transfers ([0-9]+)\n")
    message(FATAL_ERROR "no transfer count:\n${output}")
endif()
if(CMAKE_MATCH_1 LESS 190 OR CMAKE_MATCH_1 GREATER 210)
    message(FATAL_ERROR "${CMAKE_MATCH_1} transfers, not about 200:\n${output}")
endif()
if(DEVICE STREQUAL "uac2" AND NOT output MATCHES "feedback rate 48000 Hz\n")
    message(FATAL_ERROR "the feedback rate is missing or wrong:\n${output}")
endif()
if(NOT EXISTS ${root}/registry.txt)
    message(FATAL_ERROR "the registry was not kept in the system root")
endif()
file(READ ${root}/registry.txt registry)
if(NOT registry MATCHES "Settings\n" OR NOT registry MATCHES "\"Kept\" binary 2A\n"
        OR NOT registry MATCHES "\nend\n?$")
    message(FATAL_ERROR "the registry file lost the value before or holds no driver settings:\n${registry}")
endif()
# A 44-byte header and 48000 frames of 4 (stereo) or 2 (mono microphone)
# bytes, give or take the frames the start and the stop take (at most 50 ms
# either way).
foreach(wav frameBytes IN ZIP_LISTS "${OUT};${OUT}.capture.wav" "4;2")
    file(SIZE ${wav} bytes)
    math(EXPR low "44 + ${frameBytes} * (48000 - 2400)")
    math(EXPR high "44 + ${frameBytes} * (48000 + 2400)")
    if(bytes LESS low OR bytes GREATER high)
        message(FATAL_ERROR "${wav} has ${bytes} bytes, not about a second of 48 kHz")
    endif()
endforeach()
