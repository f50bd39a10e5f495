; The per-user Windows installer. Built by tools/windows/package.sh:
;   makensis -DVERSION=x.y.z -DSTAGE=<folder of the files> -DOUTFILE=<setup.exe> installer.nsi
; STAGE holds tintwise-cli.exe, the .txt texts and, once the window is built,
; tintwise.exe; the Start-menu entry and "Open with" come with tintwise.exe.
;
; No administrator: everything goes below the user's own profile and
; HKEY_CURRENT_USER. The uninstaller removes exactly what this installed and
; never %LOCALAPPDATA%\Tintwise, where an installed copy keeps the user's
; cache and log (the program tells an installed copy by installed.txt).

Unicode true
; The default stub is 32-bit; a 64-bit program gets a 64-bit installer.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!ifndef VERSION
  !error "Pass -DVERSION, -DSTAGE and -DOUTFILE (see tools/windows/package.sh)"
!endif
!ifndef STAGE
  !error "Pass -DSTAGE: the folder of the files to install"
!endif
!ifndef OUTFILE
  !error "Pass -DOUTFILE: the installer to write"
!endif

!define PRODUCT "Tintwise"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define CLASSES "Software\Classes"
!define PROGID "Tintwise.Picture"

!if /FileExists "${STAGE}\tintwise.exe"
  !define WITH_WINDOW
!endif

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileDescription" "${PRODUCT} ${VERSION} setup"
VIAddVersionKey /LANG=0 "LegalCopyright" "(C) The Tintwise developers"

!include "MUI2.nsh"
!include "FileFunc.nsh"
!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!ifdef WITH_WINDOW
  !define MUI_FINISHPAGE_RUN "$INSTDIR\tintwise.exe"
!endif
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
; The first language is the fallback; Japanese is picked on a Japanese system.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Japanese"

; The picture types the window opens, for "Open with".
!macro ForEachPictureType MACRO
  !insertmacro ${MACRO} ".jpg"
  !insertmacro ${MACRO} ".jpeg"
  !insertmacro ${MACRO} ".png"
  !insertmacro ${MACRO} ".gif"
  !insertmacro ${MACRO} ".bmp"
  !insertmacro ${MACRO} ".webp"
!macroend

!macro RegisterType EXT
  WriteRegStr HKCU "${CLASSES}\Applications\tintwise.exe\SupportedTypes" "${EXT}" ""
  WriteRegStr HKCU "${CLASSES}\${EXT}\OpenWithList\tintwise.exe" "" ""
  WriteRegNone HKCU "${CLASSES}\${EXT}\OpenWithProgids" "${PROGID}"
!macroend

; Only this program's entries go; the extension's key and its lists stay
; unless nothing else is left in them (another program's entries, the
; user's choice of default).
!macro UnregisterType EXT
  DeleteRegKey HKCU "${CLASSES}\${EXT}\OpenWithList\tintwise.exe"
  DeleteRegValue HKCU "${CLASSES}\${EXT}\OpenWithProgids" "${PROGID}"
  DeleteRegKey /ifempty HKCU "${CLASSES}\${EXT}\OpenWithList"
  DeleteRegKey /ifempty HKCU "${CLASSES}\${EXT}\OpenWithProgids"
  DeleteRegKey /ifempty HKCU "${CLASSES}\${EXT}"
!macroend

; The files, named one by one so that the uninstaller removes only these.
!macro ProgramFiles DO
  !insertmacro ${DO} "tintwise-cli.exe"
  !ifdef WITH_WINDOW
    !insertmacro ${DO} "tintwise.exe"
  !endif
  !insertmacro ${DO} "README.txt"
  !insertmacro ${DO} "COPYRIGHT.txt"
  !insertmacro ${DO} "LIBRARIES.txt"
!macroend

!macro InstallFile NAME
  File "${STAGE}\${NAME}"
!macroend

!macro RemoveFile NAME
  Delete "$INSTDIR\${NAME}"
!macroend

Section "${PRODUCT}"
  SetShellVarContext current
  ; A folder made for the installation (%LOCALAPPDATA%\Programs on a fresh
  ; profile) goes with it, when empty; one that was there stays.
  ${GetParent} "$INSTDIR" $1
  IfFileExists "$1\*.*" +2 0
    WriteRegStr HKCU "${UNINSTALL_KEY}" "MadeParentFolder" "$1"
  SetOutPath "$INSTDIR"
  !insertmacro ProgramFiles InstallFile
  ; The program's marker of an installed copy: its files then live in
  ; %LOCALAPPDATA%\Tintwise rather than beside it.
  FileOpen $0 "$INSTDIR\installed.txt" w
  FileWrite $0 "This copy of ${PRODUCT} ${VERSION} was installed: it keeps its files (cache, settings, log) in %LOCALAPPDATA%\${PRODUCT}.$\r$\n"
  FileClose $0
  WriteUninstaller "$INSTDIR\uninstall.exe"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "The Tintwise developers"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  !ifdef WITH_WINDOW
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" '"$INSTDIR\tintwise.exe",0'
  !endif
  SectionGetSize 0 $0
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0

  !ifdef WITH_WINDOW
    CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\tintwise.exe"

    WriteRegStr HKCU "${CLASSES}\Applications\tintwise.exe" "FriendlyAppName" "${PRODUCT}"
    WriteRegStr HKCU "${CLASSES}\Applications\tintwise.exe\DefaultIcon" "" '"$INSTDIR\tintwise.exe",0'
    WriteRegStr HKCU "${CLASSES}\Applications\tintwise.exe\shell\open\command" "" '"$INSTDIR\tintwise.exe" "%1"'
    WriteRegStr HKCU "${CLASSES}\${PROGID}" "" "Picture (${PRODUCT})"
    WriteRegStr HKCU "${CLASSES}\${PROGID}\DefaultIcon" "" '"$INSTDIR\tintwise.exe",0'
    WriteRegStr HKCU "${CLASSES}\${PROGID}\shell\open\command" "" '"$INSTDIR\tintwise.exe" "%1"'
    !insertmacro ForEachPictureType RegisterType
    ; SHCNE_ASSOCCHANGED: Explorer rereads the associations.
    System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
  !endif
SectionEnd

Section "Uninstall"
  SetShellVarContext current
  !ifdef WITH_WINDOW
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    !insertmacro ForEachPictureType UnregisterType
    DeleteRegKey HKCU "${CLASSES}\Applications\tintwise.exe"
    DeleteRegKey /ifempty HKCU "${CLASSES}\Applications"
    DeleteRegKey HKCU "${CLASSES}\${PROGID}"
    System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
  !endif
  !insertmacro ProgramFiles RemoveFile
  Delete "$INSTDIR\installed.txt"
  Delete "$INSTDIR\uninstall.exe"
  ; Not /r: whatever else the user put there stays.
  RMDir "$INSTDIR"
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "MadeParentFolder"
  StrCmp $0 "" +2 0
    RMDir "$0"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
