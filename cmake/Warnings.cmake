# One target carries the project's warnings and defines; every target links it.
add_library(tarrowin_warnings INTERFACE)
target_compile_options(tarrowin_warnings INTERFACE
    -Wall -Wextra -Wold-style-cast -Wnon-virtual-dtor -Woverloaded-virtual
    $<$<BOOL:${TARROWIN_WERROR}>:-Werror>)
target_compile_definitions(tarrowin_warnings INTERFACE
    QT_NO_CONTEXTLESS_CONNECT
    QT_DISABLE_DEPRECATED_UP_TO=0x060000)
