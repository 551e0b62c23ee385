# Runs driver-host for one lockstep second and checks its WAV and its pool.
execute_process(COMMAND ${PROGRAM} --seconds 1 --out ${OUT}
    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "driver-host failed (${status}):\n${output}${errors}")
endif()
if(NOT output MATCHES "pool blocks left 0\n")
    message(FATAL_ERROR "blocks left in the pool:\n${output}")
endif()
file(SIZE ${OUT} bytes)
# A 44-byte header and 48000 frames of 4 bytes, give or take the frames the
# start and the stop take (at most 50 ms either way).
math(EXPR low "44 + 4 * 48000 - 4 * 2400")
math(EXPR high "44 + 4 * 48000 + 4 * 2400")
if(bytes LESS low OR bytes GREATER high)
    message(FATAL_ERROR "the WAV has ${bytes} bytes, not about a second of 48 kHz stereo")
endif()
