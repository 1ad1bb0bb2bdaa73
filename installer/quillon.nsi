; QuillonSetup.exe: installs the suite under Program Files\Quillon for every user of the
; machine, registers its COM servers, adds the Startup and Start-menu shortcuts and an
; entry in Add/Remove Programs, and writes the uninstaller.
;
; Built by the installer folder's CMake rules (make package), which pass:
;   QUILLON_VERSION       four-part version, e.g. 1.2.0.1
;   QUILLON_OUTFILE       path of the setup program to write
;   QUILLON_DELIVERABLES  generated include: the files to install (macros QuillonInstallFiles,
;                         QuillonRemoveFiles, QuillonRegisterServers, QuillonUnregisterServers)
;                         and QUILLON_SCHEDULER / QUILLON_REMINDER / QUILLON_HELP, the
;                         file names behind the shortcuts, when those files are packaged.
;
; Silent mode (/S) installs without questions; an upgrade over a running scheduler ends it
; through its window, replaces the files and starts it again. The uninstaller keeps the
; user's tasks, queued mail and configuration unless its check box asks otherwise; silent
; uninstalling keeps them unless /REMOVEUSERDATA is given.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "WinMessages.nsh"
!include "x64.nsh"
!include "Sections.nsh"
!include "${QUILLON_DELIVERABLES}"

!define PRODUCT "Quillon"
!define PUBLISHER "Kestrova"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillon"
!define USER_DATA_KEY "Software\Kestrova\Tasqeduler"
!define BHO_KEY "SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\Browser Helper Objects\{7C3A92AD-2B6E-4F10-A5C8-3E0D9B41F627}"
!define CHROME_HOSTS_KEY "SOFTWARE\Google\Chrome\NativeMessagingHosts"
!define EDGE_HOSTS_KEY "SOFTWARE\Microsoft\Edge\NativeMessagingHosts"
!define MOZILLA_HOSTS_KEY "SOFTWARE\Mozilla\NativeMessagingHosts"
; The running scheduler's main window, and its "&Exit" command.
!define SCHEDULER_CLASS "TASQED"
!define SCHEDULER_TITLE "Quillon Scheduler"
!define SCHEDULER_EXIT_COMMAND 105

Name "${PRODUCT}"
OutFile "${QUILLON_OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${QUILLON_VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${QUILLON_VERSION}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "FileDescription" "Quillon Setup"
VIAddVersionKey "FileVersion" "${QUILLON_VERSION}"
VIAddVersionKey "ProductVersion" "${QUILLON_VERSION}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

Var SchedulerWasRunning

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!ifdef QUILLON_SCHEDULER
  !define MUI_FINISHPAGE_RUN "$INSTDIR\${QUILLON_SCHEDULER}"
  !define MUI_FINISHPAGE_RUN_TEXT "Start Quillon Scheduler now"
!endif
!insertmacro MUI_PAGE_FINISH

!define MUI_COMPONENTSPAGE_TEXT_TOP "Quillon's programs and their registration are always removed. Tick the box below to remove your scheduled tasks, the messages still waiting to be sent and the configuration as well."
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Ends a running scheduler the way its own "&Exit" command does: the main window is
; destroyed, the notification icon removed and the process ends. Waits up to 15 seconds
; for the process, so its files can be replaced or deleted afterwards. Leaves 1 in $R9
; when a scheduler was running, 0 otherwise.
!macro EndRunningScheduler un
Function ${un}EndRunningScheduler
  Push $0
  Push $1
  Push $2
  StrCpy $R9 0
  FindWindow $0 "${SCHEDULER_CLASS}" "${SCHEDULER_TITLE}"
  ${If} $0 <> 0
    StrCpy $R9 1
    DetailPrint "Ending the running Quillon Scheduler"
    System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r1) i'
    ; SYNCHRONIZE access is all the wait needs.
    System::Call 'kernel32::OpenProcess(i 0x00100000, i 0, i r1) p .r2'
    SendMessage $0 ${WM_COMMAND} ${SCHEDULER_EXIT_COMMAND} 0 /TIMEOUT=10000
    ${If} $2 != 0
      System::Call 'kernel32::WaitForSingleObject(p r2, i 15000) i'
      System::Call 'kernel32::CloseHandle(p r2) i'
    ${Else}
      Sleep 2000
    ${EndIf}
  ${EndIf}
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro EndRunningScheduler ""
!insertmacro EndRunningScheduler "un."

; Registers one COM server of the installation folder through its DllRegisterServer.
!macro QuillonRegister file
  ClearErrors
  RegDLL "$INSTDIR\${file}"
  ${If} ${Errors}
    DetailPrint "Could not register ${file}"
    SetErrorLevel 3
  ${EndIf}
!macroend
!macro QuillonUnregister file
  ${If} ${FileExists} "$INSTDIR\${file}"
    UnRegDLL "$INSTDIR\${file}"
  ${EndIf}
!macroend

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_OK|MB_ICONSTOP "Quillon needs a 64-bit edition of Windows." /SD IDOK
    Abort
  ${EndIf}
  SetRegView 64
FunctionEnd

Section "Quillon" SecProgram
  SectionIn RO
  SetShellVarContext all
  Call EndRunningScheduler
  StrCpy $SchedulerWasRunning $R9

  SetOutPath "$INSTDIR"
  SetOverwrite on
  !insertmacro QuillonInstallFiles
  WriteUninstaller "$INSTDIR\uninstall.exe"
  !insertmacro QuillonRegisterServers

  ; The browsers find the extension's native host through these keys, for every user.
  !ifdef QUILLON_NATIVE_HOST
    WriteRegStr HKLM "${CHROME_HOSTS_KEY}\${QUILLON_NATIVE_HOST}" "" "$INSTDIR\${QUILLON_NATIVE_HOST}.chromium.json"
    WriteRegStr HKLM "${EDGE_HOSTS_KEY}\${QUILLON_NATIVE_HOST}" "" "$INSTDIR\${QUILLON_NATIVE_HOST}.chromium.json"
    WriteRegStr HKLM "${MOZILLA_HOSTS_KEY}\${QUILLON_NATIVE_HOST}" "" "$INSTDIR\${QUILLON_NATIVE_HOST}.firefox.json"
  !endif

  ; The scheduler starts at log-on; the schedule list opens from its icon.
  !ifdef QUILLON_SCHEDULER
    CreateShortCut "$SMSTARTUP\Quillon Scheduler.lnk" "$INSTDIR\${QUILLON_SCHEDULER}"
  !endif
  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
  !ifdef QUILLON_SCHEDULER
    CreateShortCut "$SMPROGRAMS\${PRODUCT}\Quillon Scheduler.lnk" "$INSTDIR\${QUILLON_SCHEDULER}"
  !endif
  !ifdef QUILLON_REMINDER
    CreateShortCut "$SMPROGRAMS\${PRODUCT}\Quillon Reminder.lnk" "$INSTDIR\${QUILLON_REMINDER}"
  !endif
  !ifdef QUILLON_HELP
    CreateShortCut "$SMPROGRAMS\${PRODUCT}\Quillon Help.lnk" "$INSTDIR\${QUILLON_HELP}"
  !endif
  CreateShortCut "$SMPROGRAMS\${PRODUCT}\Uninstall Quillon.lnk" "$INSTDIR\uninstall.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${QUILLON_VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  !ifdef QUILLON_SCHEDULER
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${QUILLON_SCHEDULER},0"
  !endif
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" "$0"

  ; An upgrade puts back the scheduler it ended, now running the new files.
  !ifdef QUILLON_SCHEDULER
    ${If} $SchedulerWasRunning == 1
      DetailPrint "Starting Quillon Scheduler again"
      Exec '"$INSTDIR\${QUILLON_SCHEDULER}"'
    ${EndIf}
  !endif
SectionEnd

Section "un.Quillon" UnSecProgram
  SectionIn RO
  SetShellVarContext all
  Call un.EndRunningScheduler
  !insertmacro QuillonUnregisterServers
  ; The add-in's registration writes this key; it goes even if the add-in's own
  ; unregistration could not run.
  DeleteRegKey HKLM "${BHO_KEY}"
  !ifdef QUILLON_NATIVE_HOST
    DeleteRegKey HKLM "${CHROME_HOSTS_KEY}\${QUILLON_NATIVE_HOST}"
    DeleteRegKey HKLM "${EDGE_HOSTS_KEY}\${QUILLON_NATIVE_HOST}"
    DeleteRegKey HKLM "${MOZILLA_HOSTS_KEY}\${QUILLON_NATIVE_HOST}"
  !endif
  !insertmacro QuillonRemoveFiles
  Delete "$INSTDIR\uninstall.exe"
  ; A process's current folder cannot be removed: leave it first. The uninstaller's
  ; starter in that folder may take a moment to end, so try a few times before leaving
  ; the folder to the next restart.
  SetOutPath "$TEMP"
  StrCpy $0 0
  ${DoWhile} ${FileExists} "$INSTDIR\*.*"
    RMDir "$INSTDIR"
    IntOp $0 $0 + 1
    ${If} $0 >= 20
      RMDir /REBOOTOK "$INSTDIR"
      ${Break}
    ${EndIf}
    Sleep 250
  ${Loop}

  Delete "$SMSTARTUP\Quillon Scheduler.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\Quillon Scheduler.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\Quillon Reminder.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\Quillon Help.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\Uninstall Quillon.lnk"
  RMDir "$SMPROGRAMS\${PRODUCT}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd

; Not selected unless the user ticks it, so a silent uninstall keeps the user's data.
Section /o "un.Remove my tasks, queued mail and configuration" UnSecUserData
  DeleteRegKey HKCU "${USER_DATA_KEY}"
  DeleteRegKey /ifempty HKCU "Software\Kestrova"
SectionEnd

; "/REMOVEUSERDATA" on the command line ticks the box, for a scripted removal that should
; leave nothing behind ("uninstall.exe /S /REMOVEUSERDATA").
Function un.onInit
  SetRegView 64
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/REMOVEUSERDATA" $1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${UnSecUserData}
  ${EndIf}
FunctionEnd

!insertmacro MUI_UNFUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${UnSecProgram} "The programs, their registration and the shortcuts."
  !insertmacro MUI_DESCRIPTION_TEXT ${UnSecUserData} "Your scheduled tasks, the messages waiting to be sent and the configuration (kept unless ticked)."
!insertmacro MUI_UNFUNCTION_DESCRIPTION_END
