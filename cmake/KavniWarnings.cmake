# SPDX-License-Identifier: MIT
# Warnings and sanitizers for every target of the project.
if(MSVC)
    add_compile_options(/W4 /permissive- /Zc:__cplusplus /utf-8)
    if(KAVNI_WERROR)
        add_compile_options(/WX)
    endif()
else()
    add_compile_options(-Wall -Wextra -Wpedantic)
    if(KAVNI_WERROR)
        add_compile_options(-Werror)
    endif()
endif()
if(KAVNI_SANITIZE)
    add_compile_options(-fsanitize=${KAVNI_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=${KAVNI_SANITIZE})
endif()
add_compile_definitions(
    QT_NO_KEYWORDS
    QT_NO_CONTEXTLESS_CONNECT
    QT_DISABLE_DEPRECATED_UP_TO=0x060400
)
if(KAVNI_BUILD_FUZZ)
    # Coverage for libFuzzer in every object the fuzz targets link.
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()
