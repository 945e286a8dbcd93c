; The Windows installer: the uploader and its library, the web-page control
; (registered with regsvr32), the browser bridge's host registered for
; Chrome and Edge, a Start menu entry, and an uninstaller that takes all of
; it away again. Built by scripts/package-windows.sh (makensis -INPUTCHARSET
; UTF8 -DVERSION=... -DSTAGE=... -DOUTFILE=...). /S installs and uninstalls
; without questions.
Unicode true
!ifndef VERSION | STAGE | OUTFILE
  !error "give -DVERSION, -DSTAGE and -DOUTFILE"
!endif

!define PRODUCT "퀜바라 파일 올리기"
!define CONTROL "QuenvaraUploadControl.dll"
!define HOST "com.quenvara.control_host"
!define CHROME_HOSTS "Software\Google\Chrome\NativeMessagingHosts"
!define EDGE_HOSTS "Software\Microsoft\Edge\NativeMessagingHosts"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quenvara"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Quenvara"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ShowInstDetails show
ShowUninstDetails show
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileDescription" "${PRODUCT} setup"
VIAddVersionKey /LANG=0 "LegalCopyright" "Quenvara"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; A running uploader keeps its program and library in use: the files could
; not be replaced or taken away, so nothing starts until it is closed. It is
; found by its message-only window, which carries the product's caption.
!macro RefuseWhileUploaderRuns
  running:
    System::Call 'user32::FindWindowExW(p -3, p 0, p 0, w "${PRODUCT}") p .r0'
    StrCmp $0 0 free
    IfSilent 0 +3
      SetErrorLevel 2
      Abort
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
      "${PRODUCT}가 실행 중입니다. 끝낸 뒤 다시 시도하세요." IDRETRY running
    SetErrorLevel 2
    Abort
  free:
!macroend

Function .onInit
  !insertmacro RefuseWhileUploaderRuns
FunctionEnd

Function un.onInit
  !insertmacro RefuseWhileUploaderRuns
FunctionEnd

; What the installer puts in the program folder, taken away by the
; uninstaller and by an installation that cannot be completed.
!macro RemoveProgramFiles
  Delete "$INSTDIR\QuenvaraUpLoad.exe"
  Delete "$INSTDIR\QuenvaraMF.dll"
  Delete "$INSTDIR\${CONTROL}"
  Delete "$INSTDIR\quenvara-control-host.exe"
  Delete "$INSTDIR\${HOST}.json"
  RMDir /r "$INSTDIR\browser-extension"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
!macroend

Section "Install"
  SetOutPath "$INSTDIR"
  File "${STAGE}\QuenvaraUpLoad.exe"
  File "${STAGE}\QuenvaraMF.dll"
  File "${STAGE}\${CONTROL}"
  File "${STAGE}\quenvara-control-host.exe"
  File "${STAGE}\${HOST}.json"
  SetOutPath "$INSTDIR\browser-extension"
  File "${STAGE}\browser-extension\*.*"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ExecWait '"$SYSDIR\regsvr32.exe" /s "$INSTDIR\${CONTROL}"' $0
  StrCmp $0 "0" registered
    DetailPrint "regsvr32 could not register ${CONTROL} (exit status $0)"
    !insertmacro RemoveProgramFiles
    SetErrorLevel 2
    Abort "The web-page control could not be registered."
  registered:

  ; The host's manifest names it by a path relative to the manifest's folder.
  WriteRegStr HKCU "${CHROME_HOSTS}\${HOST}" "" "$INSTDIR\${HOST}.json"
  WriteRegStr HKCU "${EDGE_HOSTS}\${HOST}" "" "$INSTDIR\${HOST}.json"

  CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\QuenvaraUpLoad.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Quenvara"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\QuenvaraUpLoad.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; A key of a browser's path is taken away only when nothing else is in it:
; the browser's own settings stay.
!macro RemoveHostKey BROWSER_HOSTS
  DeleteRegKey HKCU "${BROWSER_HOSTS}\${HOST}"
  DeleteRegKey /ifempty HKCU "${BROWSER_HOSTS}"
!macroend

Section "Uninstall"
  ExecWait '"$SYSDIR\regsvr32.exe" /s /u "$INSTDIR\${CONTROL}"'
  !insertmacro RemoveHostKey "${CHROME_HOSTS}"
  DeleteRegKey /ifempty HKCU "Software\Google\Chrome"
  DeleteRegKey /ifempty HKCU "Software\Google"
  !insertmacro RemoveHostKey "${EDGE_HOSTS}"
  DeleteRegKey /ifempty HKCU "Software\Microsoft\Edge"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ; The folder last: its going is the sign that all of the above is done.
  !insertmacro RemoveProgramFiles
SectionEnd
