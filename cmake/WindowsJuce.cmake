# JUCE for Windows, cross-built with mingw-w64: the image codecs come from
# scripts/windows-codecs.sh (Debian's JUCE has its bundled copies removed), zlib from mingw.
set(VORLEN_WINDOWS_CODECS "" CACHE PATH "prefix that scripts/windows-codecs.sh installed into")
if(NOT EXISTS "${VORLEN_WINDOWS_CODECS}/include/jpegint.h")
    message(FATAL_ERROR "VORLEN_WINDOWS_CODECS must name the codecs' prefix (bash scripts/build-windows.sh builds them)")
endif()

target_compile_definitions(vorlen_juce PUBLIC
    JUCE_USE_CURL=0
    JUCE_USE_WIN_WEBVIEW2=0
    JUCE_INCLUDE_PNGLIB_CODE=0
    JUCE_INCLUDE_JPEGLIB_CODE=0
    JUCE_INCLUDE_ZLIB_CODE=0)
target_include_directories(vorlen_juce SYSTEM PUBLIC ${VORLEN_WINDOWS_CODECS}/include)
# On _WIN32 jmorecfg.h leaves 'boolean' to rpcndr.h, outside the namespace JUCE wraps it in.
target_compile_options(vorlen_juce PRIVATE
    -include ${CMAKE_CURRENT_LIST_DIR}/windows/jpeg_boolean.h)
target_link_libraries(vorlen_juce PUBLIC
    ${VORLEN_WINDOWS_CODECS}/lib/libpng16.a
    ${VORLEN_WINDOWS_CODECS}/lib/libjpeg.a
    z ws2_32 wininet version shlwapi ole32 oleaut32 uuid winmm imm32 comdlg32 gdi32 dxgi
    rpcrt4 iphlpapi netapi32 dbghelp
    # Nothing but system DLLs beside the program: no libstdc++, libgcc or winpthread DLL.
    -static)
