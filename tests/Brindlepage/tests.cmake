# The add-in's tests beyond the core library's: the objects that stand in for an Office host (with a type
# library of their own), the host program that starts the add-in as Office does, registration with
# regsvr32, Wine's script host as a late-bound client, and the static checks of the 32-bit DLL.
set(fake_office_gen ${CMAKE_CURRENT_BINARY_DIR}/fake_office)
file(MAKE_DIRECTORY ${fake_office_gen})
set(fake_office_idl ${CMAKE_CURRENT_SOURCE_DIR}/Brindlepage/support/fake_office.idl)
set(widl_test ${MVX_WIDL} -I ${PROJECT_SOURCE_DIR}/Brindlepage/res -L ${MVX_STDOLE2_DIR})
add_custom_command(
  OUTPUT ${fake_office_gen}/fake_office_lib.h ${fake_office_gen}/fake_office_lib_i.c ${fake_office_gen}/fake_office.tlb
  COMMAND ${widl_test} -h -o ${fake_office_gen}/fake_office_lib.h ${fake_office_idl}
  COMMAND ${widl_test} -u -o ${fake_office_gen}/fake_office_lib_i.c ${fake_office_idl}
  COMMAND ${widl_test} -t -o ${fake_office_gen}/fake_office.tlb ${fake_office_idl}
  DEPENDS ${fake_office_idl} ${PROJECT_SOURCE_DIR}/Brindlepage/res/ocidl.idl)
add_library(brindlepage_test_support STATIC Brindlepage/support/fake_office.cpp ${fake_office_gen}/fake_office_lib_i.c
            Brindlepage/support/office_hosts.cpp Brindlepage/support/office_session.cpp Brindlepage/support/fake_user.cpp)
target_include_directories(brindlepage_test_support PUBLIC Brindlepage/support ${fake_office_gen})
target_link_libraries(brindlepage_test_support PUBLIC brindlepage_core mvx_test_support comdlg32 uuid)
# The type library travels in each test program's resources.
set(fake_office_rc ${CMAKE_CURRENT_SOURCE_DIR}/Brindlepage/support/fake_office.rc)
set_source_files_properties(${fake_office_rc} PROPERTIES OBJECT_DEPENDS ${fake_office_gen}/fake_office.tlb)

# The host program: Word, Excel or PowerPoint with one document, from start-up to the export through the
# registered add-in (scripts/export.sh, the README's main job).
add_executable(fake_office Brindlepage/support/fake_office_main.cpp ${fake_office_rc})
target_link_options(fake_office PRIVATE -municode)
target_link_libraries(fake_office PRIVATE brindlepage_test_support psapi)

target_sources(brindlepage_tests PRIVATE ${fake_office_rc})
target_include_directories(brindlepage_tests PRIVATE ${fake_office_gen})
target_link_libraries(brindlepage_tests PRIVATE brindlepage_test_support)

# A resource module without a ribbon definition, for the add-in's fallback.
add_library(bpgres_noribbon SHARED Brindlepage/addin/bpgres_noribbon.rc)
set_target_properties(bpgres_noribbon PROPERTIES PREFIX "" LINKER_LANGUAGE C)
target_include_directories(bpgres_noribbon PRIVATE ${PROJECT_SOURCE_DIR}/Brindlepage/res)
target_link_options(bpgres_noribbon PRIVATE -nostdlib -Wl,-e,0)

mvx_add_test_folder(brindlepage_addin_tests Brindlepage/addin brindlepage_test_support)
target_sources(brindlepage_addin_tests PRIVATE ${fake_office_rc})
target_include_directories(brindlepage_addin_tests PRIVATE ${fake_office_gen}
                           $<TARGET_PROPERTY:Brindlepage,BINARY_DIR>/generated ${PROJECT_SOURCE_DIR}/Brindlepage/addin)
add_dependencies(brindlepage_addin_tests Brindlepage bpgres-0409 bpgres-0407 bpgres_noribbon)
# The registry scripts' runner is tested on keys of its own.
target_sources(brindlepage_addin_tests PRIVATE ${PROJECT_SOURCE_DIR}/Brindlepage/addin/registrar.cpp)
# The class identifiers, from the add-in's type library.
target_sources(brindlepage_addin_tests PRIVATE $<TARGET_PROPERTY:Brindlepage,BINARY_DIR>/generated/BrindlepageLib_i.c)
target_compile_definitions(brindlepage_addin_tests PRIVATE
  BRINDLEPAGE_DLL="$<TARGET_FILE:Brindlepage>" BRINDLEPAGE_NORIBBON_DLL="$<TARGET_FILE:bpgres_noribbon>")

# The start-up tests find the add-in through the registry, as Office does: registration comes first and
# unregistration last, each a test of its own.
set(addin_script ${CMAKE_CURRENT_SOURCE_DIR}/Brindlepage/addin/registration_test.sh)
add_test(NAME brindlepage_register COMMAND bash ${addin_script} register ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:Brindlepage>)
add_test(NAME brindlepage_unregister COMMAND bash ${addin_script} unregister ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:Brindlepage>)
set_tests_properties(brindlepage_register PROPERTIES FIXTURES_SETUP brindlepage_registered)
set_tests_properties(brindlepage_unregister PROPERTIES FIXTURES_CLEANUP brindlepage_registered)
set_tests_properties(brindlepage_addin_tests PROPERTIES FIXTURES_REQUIRED brindlepage_registered)

# The export command, through hosts that play Word, Excel and PowerPoint around the registered add-in.
mvx_add_test_folder(brindlepage_command_tests Brindlepage/command brindlepage_test_support)
target_sources(brindlepage_command_tests PRIVATE ${fake_office_rc})
add_dependencies(brindlepage_command_tests Brindlepage)
set_tests_properties(brindlepage_command_tests PROPERTIES FIXTURES_REQUIRED brindlepage_registered)

add_test(NAME brindlepage_script_client COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/Brindlepage/addin/script_client_test.sh
         ${CMAKE_CROSSCOMPILING_EMULATOR} ${CMAKE_CURRENT_SOURCE_DIR}/Brindlepage/addin/script_client.js)
set_tests_properties(brindlepage_script_client PROPERTIES FIXTURES_REQUIRED brindlepage_registered)

# The resource module follows the user's language, which Wine takes from the locale at process start. The
# main run skips these cases; here a skip means a machine that does not honour the locale, and fails.
foreach(case "de:de_DE.UTF-8:German" "ja:ja_JP.UTF-8:Japanese")
  string(REPLACE ":" ";" parts "${case}")
  list(GET parts 0 suffix)
  list(GET parts 1 locale)
  list(GET parts 2 suite)
  add_test(NAME brindlepage_addin_tests_${suffix} COMMAND brindlepage_addin_tests --gtest_filter=ResourceModule${suite}.*)
  set_tests_properties(brindlepage_addin_tests_${suffix} PROPERTIES
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR} ENVIRONMENT "LANG=${locale};LC_ALL=${locale}"
    PASS_REGULAR_EXPRESSION "${MVX_GTEST_PASSED}" FAIL_REGULAR_EXPRESSION "\\[  SKIPPED \\];${MVX_GTEST_FAILED}")
endforeach()

# The 32-bit product DLL, read on the host: exports without decoration from __stdcall functions.
add_test(NAME brindlepage_dll_exports COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/Brindlepage/addin/dll_exports_test.sh
         ${MVX_PRODUCT_BUILD_DIR}/Brindlepage/Brindlepage.dll)

# The page images, the metafile renderer's two passes and the agreement mask, on metafiles drawn with GDI
# and GDI+ and on LibreOffice's page metafiles under data/.
mvx_add_test_folder(brindlepage_render_tests Brindlepage/render brindlepage_core)
target_sources(brindlepage_render_tests PRIVATE Brindlepage/support/render_support.cpp)
target_include_directories(brindlepage_render_tests PRIVATE Brindlepage/support)

# The capture side of the renderer: text records into line, word and character zones, the host's link and
# structure comments, and the zones and links of rendered pages as the outside DjVu tools read them.
mvx_add_test_folder(brindlepage_capture_tests Brindlepage/capture brindlepage_core)
target_sources(brindlepage_capture_tests PRIVATE Brindlepage/support/render_support.cpp)
target_include_directories(brindlepage_capture_tests PRIVATE Brindlepage/support)

# The exporter driven as Office drives it: pages in, the written document read back by the DjVu tools.
mvx_add_test_folder(brindlepage_exporter_tests Brindlepage/exporter brindlepage_core)
