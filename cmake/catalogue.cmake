# The translations: po/en.po compiled by msgfmt and embedded in zentor_text as a
# byte array (text/catalogue.h), so no gettext library is needed at run time.
# xgettext also lists every message of the sources in <build>/po/zentor.pot, which
# the tests hold the Russian texts and the translations against.
# scripts/update-po.sh brings po/zentor.pot and po/en.po up to date.

find_program(ZENTOR_MSGFMT msgfmt REQUIRED)
find_program(ZENTOR_XGETTEXT xgettext REQUIRED)

set(ZENTOR_XGETTEXT_OPTIONS --language=C++ --from-code=UTF-8 --keyword= --keyword=ZT:1c,2
    --no-location --sort-output --force-po --package-name=zentor --msgid-bugs-address=-)

# The sources whose texts the catalogue holds.
function(zentor_text_sources out)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
       ${CMAKE_SOURCE_DIR}/core/*.h ${CMAKE_SOURCE_DIR}/core/*.cpp
       ${CMAKE_SOURCE_DIR}/cli/*.h ${CMAKE_SOURCE_DIR}/cli/*.cpp
       ${CMAKE_SOURCE_DIR}/gui/*.h ${CMAKE_SOURCE_DIR}/gui/*.cpp)
  list(FILTER sources EXCLUDE REGEX "/core/text/")
  list(SORT sources)
  set(${out} ${sources} PARENT_SCOPE)
endfunction()

function(zentor_add_catalogue target)
  set(dir ${CMAKE_BINARY_DIR}/po)
  file(MAKE_DIRECTORY ${dir})
  add_custom_command(
    OUTPUT ${dir}/en.mo
    COMMAND ${ZENTOR_MSGFMT} --check-format -o ${dir}/en.mo ${CMAKE_SOURCE_DIR}/po/en.po
    DEPENDS ${CMAKE_SOURCE_DIR}/po/en.po
    COMMENT "Compiling po/en.po")
  add_custom_command(
    OUTPUT ${dir}/en_mo.cpp
    COMMAND ${CMAKE_COMMAND} -DINPUT=${dir}/en.mo -DOUTPUT=${dir}/en_mo.cpp
            -P ${CMAKE_SOURCE_DIR}/cmake/embed_mo.cmake
    DEPENDS ${dir}/en.mo ${CMAKE_SOURCE_DIR}/cmake/embed_mo.cmake
    COMMENT "Embedding en.mo")
  target_sources(${target} PRIVATE ${dir}/en_mo.cpp)
  set(ZENTOR_CORE_SOURCES ${ZENTOR_CORE_SOURCES} ${dir}/en_mo.cpp PARENT_SCOPE)

  zentor_text_sources(sources)
  list(JOIN sources "\n" listed)
  file(WRITE ${dir}/sources.txt.in "${listed}\n")
  configure_file(${dir}/sources.txt.in ${dir}/sources.txt COPYONLY)
  add_custom_command(
    OUTPUT ${dir}/zentor.pot
    COMMAND ${ZENTOR_XGETTEXT} ${ZENTOR_XGETTEXT_OPTIONS} --files-from=${dir}/sources.txt
            -o ${dir}/zentor.pot
    DEPENDS ${sources} ${dir}/sources.txt
    COMMENT "Listing the messages of the sources")
  add_custom_target(zentor_messages DEPENDS ${dir}/zentor.pot ${dir}/en.mo)
  set(ZENTOR_MESSAGES_POT ${dir}/zentor.pot PARENT_SCOPE)
  set(ZENTOR_ENGLISH_MO ${dir}/en.mo PARENT_SCOPE)
endfunction()
