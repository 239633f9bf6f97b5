# Regenerates the default pictures into OUT and compares them byte for byte with
# the committed ones in SOURCE_IMAGES.
file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT})
execute_process(COMMAND ${GENERATOR} ${OUT} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "make-pictures failed: ${result}")
endif()
foreach(name imageLeft.bmp imageRight.bmp imageLeft-4x.png imageRight-4x.png)
    file(SHA256 ${OUT}/${name} generated)
    file(SHA256 ${SOURCE_IMAGES}/${name} committed)
    if(NOT generated STREQUAL committed)
        message(FATAL_ERROR "${name} differs from what tools/make-pictures draws; "
                            "regenerate with: make-pictures IMAGES")
    endif()
endforeach()
