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
; The pages come in English, German, French and Spanish: the setup program asks which,
; proposing the user's own language (or the one chosen at the last installation), and
; the uninstaller uses the installation's language. The programs choose their own
; language from the user's locale and the resource modules installed beside them.
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

; The language chosen for the pages is remembered for the next installation and the
; uninstaller.
!define MUI_LANGDLL_REGISTRY_ROOT HKLM
!define MUI_LANGDLL_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MUI_LANGDLL_REGISTRY_VALUENAME "Installer Language"
!define MUI_LANGDLL_ALLLANGUAGES

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!ifdef QUILLON_SCHEDULER
  !define MUI_FINISHPAGE_RUN "$INSTDIR\${QUILLON_SCHEDULER}"
  !define MUI_FINISHPAGE_RUN_TEXT "$(QuillonStartNow)"
!endif
!insertmacro MUI_PAGE_FINISH

!define MUI_COMPONENTSPAGE_TEXT_TOP "$(QuillonRemoveTop)"
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES
; English first: the language of a machine whose language is none of these.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "German"
!insertmacro MUI_LANGUAGE "French"
!insertmacro MUI_LANGUAGE "Spanish"
!insertmacro MUI_RESERVEFILE_LANGDLL

; The script's own texts in the four languages.
LangString QuillonStartNow ${LANG_ENGLISH} "Start Quillon Scheduler now"
LangString QuillonStartNow ${LANG_GERMAN} "Quillon Scheduler jetzt starten"
LangString QuillonStartNow ${LANG_FRENCH} "Démarrer Quillon Scheduler maintenant"
LangString QuillonStartNow ${LANG_SPANISH} "Iniciar Quillon Scheduler ahora"
LangString QuillonRemoveTop ${LANG_ENGLISH} "Quillon's programs and their registration are always removed. Tick the box below to remove your scheduled tasks, the messages still waiting to be sent and the configuration as well."
LangString QuillonRemoveTop ${LANG_GERMAN} "Die Programme von Quillon und ihre Registrierung werden immer entfernt. Aktivieren Sie das Kontrollkästchen unten, um auch Ihre geplanten Aufgaben, die noch nicht gesendeten Nachrichten und die Konfiguration zu entfernen."
LangString QuillonRemoveTop ${LANG_FRENCH} "Les programmes de Quillon et leur inscription sont toujours supprimés. Cochez la case ci-dessous pour supprimer également vos tâches planifiées, les messages en attente d'envoi et la configuration."
LangString QuillonRemoveTop ${LANG_SPANISH} "Los programas de Quillon y su registro se quitan siempre. Active la casilla siguiente para quitar también las tareas programadas, los mensajes pendientes de envío y la configuración."
LangString QuillonNeeds64Bit ${LANG_ENGLISH} "Quillon needs a 64-bit edition of Windows."
LangString QuillonNeeds64Bit ${LANG_GERMAN} "Quillon benötigt eine 64-Bit-Version von Windows."
LangString QuillonNeeds64Bit ${LANG_FRENCH} "Quillon nécessite une édition 64 bits de Windows."
LangString QuillonNeeds64Bit ${LANG_SPANISH} "Quillon necesita una edición de 64 bits de Windows."
LangString QuillonProgramSection ${LANG_ENGLISH} "The programs, their registration and the shortcuts."
LangString QuillonProgramSection ${LANG_GERMAN} "Die Programme, ihre Registrierung und die Verknüpfungen."
LangString QuillonProgramSection ${LANG_FRENCH} "Les programmes, leur inscription et les raccourcis."
LangString QuillonProgramSection ${LANG_SPANISH} "Los programas, su registro y los accesos directos."
LangString QuillonUserDataName ${LANG_ENGLISH} "Remove my tasks, queued mail and configuration"
LangString QuillonUserDataName ${LANG_GERMAN} "Meine Aufgaben, wartenden Nachrichten und die Konfiguration entfernen"
LangString QuillonUserDataName ${LANG_FRENCH} "Supprimer mes tâches, les messages en attente et la configuration"
LangString QuillonUserDataName ${LANG_SPANISH} "Quitar mis tareas, los mensajes pendientes y la configuración"
LangString QuillonUserDataSection ${LANG_ENGLISH} "Your scheduled tasks, the messages waiting to be sent and the configuration (kept unless ticked)."
LangString QuillonUserDataSection ${LANG_GERMAN} "Ihre geplanten Aufgaben, die wartenden Nachrichten und die Konfiguration (bleiben erhalten, wenn nicht aktiviert)."
LangString QuillonUserDataSection ${LANG_FRENCH} "Vos tâches planifiées, les messages en attente d'envoi et la configuration (conservés si la case n'est pas cochée)."
LangString QuillonUserDataSection ${LANG_SPANISH} "Las tareas programadas, los mensajes pendientes de envío y la configuración (se conservan si no se activa)."

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
    MessageBox MB_OK|MB_ICONSTOP "$(QuillonNeeds64Bit)" /SD IDOK
    Abort
  ${EndIf}
  SetRegView 64
  ; Not in silent mode: /S installs in the user's language (or English) without asking.
  !insertmacro MUI_LANGDLL_DISPLAY
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
  ; The language of these pages (a silent install: the user's own, or English), for the
  ; uninstaller and the next installation.
  WriteRegStr HKLM "${UNINSTALL_KEY}" "${MUI_LANGDLL_REGISTRY_VALUENAME}" "$LANGUAGE"
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
Section /o "un.$(QuillonUserDataName)" UnSecUserData
  DeleteRegKey HKCU "${USER_DATA_KEY}"
  DeleteRegKey /ifempty HKCU "Software\Kestrova"
SectionEnd

; "/REMOVEUSERDATA" on the command line ticks the box, for a scripted removal that should
; leave nothing behind ("uninstall.exe /S /REMOVEUSERDATA").
Function un.onInit
  SetRegView 64
  ; The installation's language; without one (an older installation) the user's own, as
  ; NSIS chose it. The uninstaller never asks.
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "${MUI_LANGDLL_REGISTRY_VALUENAME}"
  ${If} $0 != ""
    StrCpy $LANGUAGE $0
  ${EndIf}
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/REMOVEUSERDATA" $1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${UnSecUserData}
  ${EndIf}
FunctionEnd

!insertmacro MUI_UNFUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${UnSecProgram} "$(QuillonProgramSection)"
  !insertmacro MUI_DESCRIPTION_TEXT ${UnSecUserData} "$(QuillonUserDataSection)"
!insertmacro MUI_UNFUNCTION_DESCRIPTION_END
