# Copies the factory preferences FACTORY to the user's USER when the user has
# none yet.
if(NOT EXISTS "${USER}")
    file(COPY_FILE "${FACTORY}" "${USER}")
endif()
