# The suites that run unchanged under Wine, and the tests of the Win32
# pieces. Audio fixtures are made on the build machine (sox, lame, oggenc).

quenvara_test(musicfilter_tests
  SOURCES musicfilter/content_key_test.cpp musicfilter/filter_answer_test.cpp
  LIBS quenvara_musicfilter_core)

quenvara_test(dna_tests
  SOURCES musicfilter/dna_extractor_test.cpp
  LIBS quenvara_dna)

quenvara_test(pcm_front_end_tests AUDIO
  SOURCES musicfilter/pcm_front_end_test.cpp
  LIBS quenvara_pcm_front_ends)

quenvara_test(mp3_tests AUDIO
  SOURCES musicfilter/mp3_test.cpp
  LIBS quenvara_mp3)

# QuenvaraMF.dll as a Windows program binds it, against the Linux build's
# reference filter service; see the script for what it checks.
add_executable(music_filter_dll_probe win32/music_filter_dll_probe.cpp)
target_link_libraries(music_filter_dll_probe PRIVATE quenvara_warnings)
add_test(NAME music_filter_dll
  COMMAND ${CMAKE_COMMAND} -E env PROBE=$<TARGET_FILE:music_filter_dll_probe>
    DLL=$<TARGET_FILE:QuenvaraMF> FINGERPRINT=$<TARGET_FILE:quenvara-fingerprint>
    AUDIO_FIXTURES=${QUENVARA_AUDIO_FIXTURES}
    bash ${CMAKE_CURRENT_SOURCE_DIR}/win32/music_filter_dll_test.sh)
set_tests_properties(music_filter_dll PROPERTIES FIXTURES_REQUIRED audio TIMEOUT 600)
add_dependencies(music_filter_dll_probe QuenvaraMF quenvara-fingerprint)

quenvara_test(win32_platform_tests
  SOURCES win32/win32_platform_test.cpp
  LIBS quenvara_common quenvara_platform)
add_dependencies(win32_platform_tests QuenvaraMF)
target_compile_definitions(win32_platform_tests PRIVATE QUENVARA_MF_DLL="$<TARGET_FILE:QuenvaraMF>")

quenvara_test(named_pipe_tests
  SOURCES win32/named_pipe_test.cpp
  LIBS quenvara_platform)

quenvara_test(winsock_tcp_tests
  SOURCES win32/winsock_tcp_test.cpp
  LIBS quenvara_platform)

add_executable(args_echo win32/args_echo.cpp)
quenvara_test(process_and_lock_tests
  SOURCES win32/process_and_lock_test.cpp
  LIBS quenvara_platform)
add_dependencies(process_and_lock_tests args_echo)
target_compile_definitions(process_and_lock_tests PRIVATE ARGS_ECHO="$<TARGET_FILE:args_echo>")

quenvara_test(copy_data_tests
  SOURCES win32/copy_data_test.cpp
  LIBS quenvara_platform)

# The job records a control builds, with Windows paths.
quenvara_test(handover_client_tests
  SOURCES handover_client/job_builder_test.cpp win32/windows_records_test.cpp
  LIBS quenvara_handover_client)

# The Windows uploader and hand-over client under Wine against the Linux
# build's reference service.
add_test(NAME uploader_windows_e2e
  COMMAND ${CMAKE_COMMAND} -E env UPLOADER=$<TARGET_FILE:QuenvaraUpLoad>
    HANDOVER=$<TARGET_FILE:quenvara-handover>
    bash ${CMAKE_CURRENT_SOURCE_DIR}/win32/uploader_e2e_test.sh)
set_tests_properties(uploader_windows_e2e PROPERTIES TIMEOUT 600)

# The ActiveX control registered, driven by a JScript page under cscript,
# starting the uploader beside it; then unregistered.
add_test(NAME control_activex_e2e
  COMMAND ${CMAKE_COMMAND} -E env CONTROL=$<TARGET_FILE:QuenvaraUploadControl>
    PAGE=${CMAKE_CURRENT_SOURCE_DIR}/win32/control_page.js
    bash ${CMAKE_CURRENT_SOURCE_DIR}/win32/control_e2e_test.sh)
set_tests_properties(control_activex_e2e PROPERTIES TIMEOUT 600 RUN_SERIAL TRUE)
# The same page on the way for systems without the pipe: each message goes
# to the uploader's window as WM_COPYDATA.
add_test(NAME control_activex_window_messages_e2e
  COMMAND ${CMAKE_COMMAND} -E env CONTROL=$<TARGET_FILE:QuenvaraUploadControl>
    PAGE=${CMAKE_CURRENT_SOURCE_DIR}/win32/control_page.js HANDOVER_WINDOW=1
    bash ${CMAKE_CURRENT_SOURCE_DIR}/win32/control_e2e_test.sh)
set_tests_properties(control_activex_window_messages_e2e PROPERTIES TIMEOUT 600 RUN_SERIAL TRUE)
# The same page with what the installer put in place, then the uninstaller.
add_test(NAME installer_e2e
  COMMAND ${CMAKE_COMMAND} -E env SETUP=${QUENVARA_SETUP}
    PAGE=${CMAKE_CURRENT_SOURCE_DIR}/win32/control_page.js
    bash ${CMAKE_CURRENT_SOURCE_DIR}/win32/control_e2e_test.sh)
set_tests_properties(installer_e2e PROPERTIES TIMEOUT 600 RUN_SERIAL TRUE)

# The uploader's window and tray icon under Wine on a virtual display, the
# page's folder of 30 files handed over through the control; a Wine prefix
# of its own, whose desktop process sees the display.
if(QUENVARA_WITH_WX)
  add_executable(tray_message win32/tray_message.cpp)
  target_link_options(tray_message PRIVATE -municode)
  add_executable(accessible_probe win32/accessible_probe.cpp)
  target_link_libraries(accessible_probe PRIVATE oleacc ole32 oleaut32 uuid)
  add_test(NAME window_windows_e2e
    COMMAND ${CMAKE_COMMAND} -E env CONTROL=$<TARGET_FILE:QuenvaraUploadControl>
      TRAY_MESSAGE=$<TARGET_FILE:tray_message> ACCESSIBLE_PROBE=$<TARGET_FILE:accessible_probe>
      HANDOVER=$<TARGET_FILE:quenvara-handover> PAGE=${CMAKE_CURRENT_SOURCE_DIR}/win32/control_page.js
      PREFIX=${CMAKE_BINARY_DIR}/wineprefix-window SHOTS=${CMAKE_BINARY_DIR}/gui-screenshots
      /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/win32/window_e2e_test.py)
  set_tests_properties(window_windows_e2e PROPERTIES TIMEOUT 600 RUN_SERIAL TRUE)
  # The same with what the installer put in place.
  add_test(NAME installed_window_e2e
    COMMAND ${CMAKE_COMMAND} -E env SETUP=${QUENVARA_SETUP}
      TRAY_MESSAGE=$<TARGET_FILE:tray_message> ACCESSIBLE_PROBE=$<TARGET_FILE:accessible_probe>
      HANDOVER=$<TARGET_FILE:quenvara-handover> PAGE=${CMAKE_CURRENT_SOURCE_DIR}/win32/control_page.js
      PREFIX=${CMAKE_BINARY_DIR}/wineprefix-installed
      SHOTS=${CMAKE_BINARY_DIR}/gui-screenshots/installed
      /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/win32/window_e2e_test.py)
  set_tests_properties(installed_window_e2e PROPERTIES TIMEOUT 600 RUN_SERIAL TRUE)
endif()

quenvara_test(protocol_tests
  SOURCES protocol/job_records_test.cpp protocol/list_message_test.cpp protocol/packet_test.cpp
  LIBS quenvara_protocol quenvara_uploader_core)

quenvara_test(engine_tests
  SOURCES uploader/server_conversation_test.cpp uploader/engine_accounting_test.cpp
  LIBS quenvara_engine)

quenvara_test(list_concurrency_tests
  SOURCES uploader/list_concurrency_test.cpp
  LIBS quenvara_uploader_core quenvara_handover_client)

quenvara_test(transfer_tests
  SOURCES uploader/transfer_integration_test.cpp uploader/server_answers_test.cpp
    uploader/engine_waits_test.cpp uploader/message_table_test.cpp
    uploader/engine_events_test.cpp uploader/completion_proof_test.cpp
    uploader/source_checks_test.cpp uploader/transfer_edges_test.cpp
  LIBS quenvara_uploader_core quenvara_handover_client quenvara_service_core)

quenvara_test(dispatch_table_tests
  SOURCES webcontrol/control_test.cpp
  LIBS quenvara_webcontrol quenvara_uploader_core)

# The records of one job built here and by the Linux build, byte for byte.
add_test(NAME records_across_platforms
  COMMAND ${CMAKE_COMMAND} -E env HANDOVER=$<TARGET_FILE:quenvara-handover>
    bash ${CMAKE_CURRENT_SOURCE_DIR}/win32/records_across_platforms_test.sh)
set_tests_properties(records_across_platforms PROPERTIES TIMEOUT 300)

# The window logic and the upload list, headless.
quenvara_test(uploader_tests
  SOURCES uploader/handover_test.cpp uploader/settings_test.cpp
    uploader/file_list_view_test.cpp uploader/folder_expansion_test.cpp
    uploader/transfer_statistics_test.cpp uploader/upload_main_window_test.cpp
    uploader/uploader_app_test.cpp
  LIBS quenvara_uploader_core quenvara_frontend_headless quenvara_handover_client)
