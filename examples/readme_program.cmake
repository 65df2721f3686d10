# Fails unless README.md shows examples/list_values.c verbatim.
file(READ ${README} readme)
file(READ ${PROGRAM} program)
string(FIND "${readme}" "${program}" at)
if(at EQUAL -1)
  message(FATAL_ERROR "README.md does not show ${PROGRAM} as it is")
endif()
