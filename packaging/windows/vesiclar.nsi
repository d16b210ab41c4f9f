; Vesiclar's setup program: Vesiclar.scr into the system folder, where the Screen Saver settings
; find it, an uninstaller listed in Add/Remove Programs, and, if the user keeps the option,
; Vesiclar as the active screensaver. The build passes VERSION, SCR (the built Vesiclar.scr), ICON,
; WELCOME (the welcome page's picture), NOTICES (the licences of the libraries linked into the
; screensaver) and OUTFILE; see CMakeLists.txt beside this file.
;
; `VesiclarSetup.exe /S` installs silently with the option on; the uninstaller's /S keeps the
; user's settings, as deleting them needs a yes.

Unicode true
; A 64-bit setup for a 64-bit screensaver: $SYSDIR is then the real System32 (a 32-bit setup would
; land in SysWOW64, where 64-bit Windows does not look) and the registry view is the 64-bit one.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!include MUI2.nsh
!include LogicLib.nsh

!define PRODUCT "Vesiclar"
!define PUBLISHER "Quorvane"
!define SCR_NAME "Vesiclar.scr"
!define UNINSTALLER "Uninstall Vesiclar.exe"
!define NOTICES_NAME "Third-party notices.txt"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Vesiclar"
!define SETTINGS_KEY "Software\Quorvane\Vesiclar"
!define DESKTOP_KEY "Control Panel\Desktop"

Name "${PRODUCT}"
Caption "${PRODUCT} ${VERSION} Setup"
UninstallCaption "${PRODUCT} ${VERSION} Uninstall"
BrandingText "${PRODUCT} ${VERSION} by ${PUBLISHER}"
OutFile "${OUTFILE}"
; Only the uninstaller and the notices live here; the screensaver itself goes where Windows lists
; screensavers.
InstallDir "$PROGRAMFILES64\${PRODUCT}"
; Installing again (an upgrade, say) keeps the folder an earlier install was given with /D.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_WELCOMEFINISHPAGE_BITMAP "${WELCOME}"
!define MUI_UNWELCOMEFINISHPAGE_BITMAP "${WELCOME}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_SMALLDESC

!define MUI_WELCOMEPAGE_TITLE "Welcome to ${PRODUCT} ${VERSION}"
!define MUI_WELCOMEPAGE_TEXT "${PRODUCT} is a 3D screensaver by ${PUBLISHER}: a flight through the inside of a living cell, past pulsating cells, around the nucleus and along a DNA molecule that copies itself, to an ambient music loop.$\r$\n$\r$\nOnce installed, it is listed among the screensavers in Windows' Screen Saver settings.$\r$\n$\r$\nClick Next to continue."
!insertmacro MUI_PAGE_WELCOME
!define MUI_COMPONENTSPAGE_TEXT_TOP "${PRODUCT} is installed in the Windows system folder. Setup can also make it the screensaver that Windows starts."
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "${PRODUCT} is installed. Choose it, preview it or change its settings in the Screen Saver settings.$\r$\n$\r$\nTo remove it later, uninstall ${PRODUCT} from Windows' list of installed apps."
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Open the Screen Saver settings"
!define MUI_FINISHPAGE_RUN_FUNCTION OpenScreenSaverSettings
!insertmacro MUI_PAGE_FINISH

; A welcome page rather than the confirmation page, whose "Uninstalling from" would name the
; uninstaller's folder and not the system folder the screensaver is in.
!define MUI_WELCOMEPAGE_TITLE "Uninstall ${PRODUCT} ${VERSION}"
!define MUI_WELCOMEPAGE_TEXT "${SCR_NAME} will be removed from the Windows system folder, and ${PRODUCT} from the list of installed apps.$\r$\n$\r$\nYour ${PRODUCT} settings are kept unless you choose to delete them.$\r$\n$\r$\nClick Uninstall to continue."
!insertmacro MUI_UNPAGE_WELCOME
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "Copyright (C) 2026 ${PUBLISHER}"

; A running Vesiclar.scr (a screensaver run, its preview in the Screen Saver settings, its
; settings dialog) holds its file, which Windows will neither overwrite nor delete but lets be
; renamed: it goes to a temporary name beside it, deleted at the next restart. Queuing the delete
; under its own name instead would take away a Vesiclar.scr installed before that restart.
!macro MoveAsideIfHeld FILE
  Delete "${FILE}"
  ${If} ${FileExists} "${FILE}"
    GetTempFileName $1 "$SYSDIR"
    Delete $1
    Rename "${FILE}" $1
    Delete /REBOOTOK $1
  ${EndIf}
!macroend

Section "${PRODUCT} screensaver" SecScreensaver
  SectionIn RO
  ; Installed with /D somewhere else before: that folder's uninstaller would take this install away.
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
  ${AndIf} $0 != $INSTDIR
    Delete "$0\${NOTICES_NAME}"
    Delete "$0\${UNINSTALLER}"
    RMDir "$0"
  ${EndIf}

  SetOutPath "$SYSDIR"
  !insertmacro MoveAsideIfHeld "$SYSDIR\${SCR_NAME}"
  ; The new one works at once; the old copy waits for a restart that nothing needs sooner.
  SetRebootFlag false
  File "/oname=${SCR_NAME}" "${SCR}"
  SetOutPath "$INSTDIR"
  File "/oname=${NOTICES_NAME}" "${NOTICES}"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$SYSDIR\${SCR_NAME},0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  SectionGetSize ${SecScreensaver} $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Make ${PRODUCT} the active screensaver" SecActive
  WriteRegStr HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE" "$SYSDIR\${SCR_NAME}"
  ; SPI_SETSCREENSAVEACTIVE, stored in the profile and announced: a screensaver set to "(None)"
  ; before is switched on too.
  System::Call "user32::SystemParametersInfoW(i 17, i 1, p 0, i 3)"
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecScreensaver} "${SCR_NAME} in the Windows system folder, listed in the Screen Saver settings."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecActive} "Windows starts ${PRODUCT} when the computer is idle, instead of the screensaver chosen now."
!insertmacro MUI_FUNCTION_DESCRIPTION_END

Function OpenScreenSaverSettings
  Exec '"$SYSDIR\control.exe" desk.cpl,,@screensaver'
FunctionEnd

Section "Uninstall"
  ; Only if it is still the active one: a screensaver chosen since stays. (The name is 8.3 already,
  ; so a short form of the path differs at most in case, which StrCmp ignores.)
  ReadRegStr $0 HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
  ${If} $0 == "$SYSDIR\${SCR_NAME}"
    DeleteRegValue HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
  ${EndIf}

  !insertmacro MoveAsideIfHeld "$SYSDIR\${SCR_NAME}"
  ; Not even renamed (on a share, say): then it goes at the next restart under its name.
  Delete /REBOOTOK "$SYSDIR\${SCR_NAME}"
  Delete "$INSTDIR\${NOTICES_NAME}"
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"

  MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 "Delete your ${PRODUCT} settings as well?$\r$\n$\r$\nChoose No to keep them for a later install." /SD IDNO IDNO keep_settings
    DeleteRegKey HKCU "${SETTINGS_KEY}"
    DeleteRegKey /ifempty HKCU "Software\${PUBLISHER}"
  keep_settings:
SectionEnd
