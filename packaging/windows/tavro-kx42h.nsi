; The station's installer for Windows, built by scripts/windows-installer.sh with makensis.
; The script gives: VERSION, STAGE (the folder of files to install), OUTFILE, and the lists
; files.nsh (File lines) and uninstall.nsh (Delete and RMDir lines) made from STAGE.
;
; Installed by an administrator, the station goes to Program Files for every user, and the
; installer offers to set the latency timer of the FTDI cables present to 1 ms; installed by a
; user without those rights, it goes to the user's own programs folder. The station keeps its
; settings and recordings in %LOCALAPPDATA%\tavro-kx42h (its launcher gives it that folder),
; which the uninstaller leaves alone.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!include MUI2.nsh
!include LogicLib.nsh
!include x64.nsh

!define PRODUCT "Tavro KX4.2H"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\tavro-kx42h"
!define FTDIBUS "SYSTEM\CurrentControlSet\Enum\FTDIBUS"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
RequestExecutionLevel highest
InstallDir "$PROGRAMFILES64\${PRODUCT}"
BrandingText "${PRODUCT} ${VERSION}"

!define MUI_ICON "tavro-kx42h.ico"
!define MUI_UNICON "tavro-kx42h.ico"
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_FINISHPAGE_RUN "$INSTDIR\tavro-kx42h-start.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Запустить ${PRODUCT}"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Russian"

Section "Станция ${PRODUCT}" SecStation
  SectionIn RO
  SetOutPath "$INSTDIR"
  !include "files.nsh"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The shortcuts start the launcher, which gives the station its working folder.
  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\tavro-kx42h-start.exe" "" \
    "$INSTDIR\tavro-kx42h.exe" 0
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\Руководство пользователя.lnk" \
    "$INSTDIR\doc\user-guide.ru.html"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\Удалить ${PRODUCT}.lnk" "$INSTDIR\uninstall.exe"
  CreateShortcut "$DESKTOP\${PRODUCT}.lnk" "$INSTDIR\tavro-kx42h-start.exe" "" \
    "$INSTDIR\tavro-kx42h.exe" 0

  ; "Programs and Features"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "Tavro KX4.2H workshop station team"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\tavro-kx42h.exe,0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}
SectionEnd

; The FTDI driver passes received bytes on every 16 ms unless the device's LatencyTimer is
; lowered; each K-line exchange would wait that long for its answer. The value lives under
; HKLM\SYSTEM\CurrentControlSet\Enum\FTDIBUS\<device>\<instance>\Device Parameters of every
; FTDI cable that was ever plugged in, and takes effect when the cable is plugged in again.
Section "Таймер задержки кабелей FTDI: 1 мс" SecFtdi
  StrCpy $R0 0 ; device index
  StrCpy $R5 0 ; cables set
  StrCpy $R6 0 ; cables that refused
  ${Do}
    EnumRegKey $R1 HKLM "${FTDIBUS}" $R0
    ${If} $R1 == ""
      ${Break}
    ${EndIf}
    StrCpy $R2 0 ; instance index
    ${Do}
      EnumRegKey $R3 HKLM "${FTDIBUS}\$R1" $R2
      ${If} $R3 == ""
        ${Break}
      ${EndIf}
      Call SetLatencyOfInstance
      IntOp $R2 $R2 + 1
    ${Loop}
    IntOp $R0 $R0 + 1
  ${Loop}
  ${If} $R5 == 0
  ${AndIf} $R6 == 0
    DetailPrint "Кабелей FTDI в системе нет: таймер задержки не изменён."
  ${Else}
    DetailPrint "Таймер задержки 1 мс установлен для кабелей FTDI: $R5, не удалось: $R6. Переподключите кабель."
    MessageBox MB_OK|MB_ICONINFORMATION "Таймер задержки 1 мс установлен для кабелей FTDI: $R5$\nне удалось: $R6.$\nПереподключите кабель, чтобы настройка вступила в силу." /SD IDOK
  ${EndIf}
SectionEnd

; One instance $R3 of device $R1: its LatencyTimer, where the driver made one, becomes 1.
Function SetLatencyOfInstance
  StrCpy $R4 "${FTDIBUS}\$R1\$R3\Device Parameters"
  ClearErrors
  ReadRegDWORD $R7 HKLM "$R4" "LatencyTimer"
  ${If} ${Errors}
    Return
  ${EndIf}
  ClearErrors
  WriteRegDWORD HKLM "$R4" "LatencyTimer" 1
  ${If} ${Errors}
    DetailPrint "Кабель FTDI $R1\$R3: таймер задержки $R7 мс изменить не удалось."
    IntOp $R6 $R6 + 1
  ${Else}
    DetailPrint "Кабель FTDI $R1\$R3: таймер задержки $R7 мс -> 1 мс."
    IntOp $R5 $R5 + 1
  ${EndIf}
FunctionEnd

Function .onInit
  SetRegView 64
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 == "Admin"
    SetShellVarContext all
  ${Else}
    ; Without administrator rights: the user's own programs folder, and no FTDI setting
    ; (the device's registry key is the system's).
    SetShellVarContext current
    StrCpy $INSTDIR "$LOCALAPPDATA\Programs\${PRODUCT}"
    SectionSetFlags ${SecFtdi} ${SF_RO}
    SectionSetText ${SecFtdi} "Таймер задержки кабелей FTDI: 1 мс (нужны права администратора)"
  ${EndIf}
FunctionEnd

Section "Uninstall"
  !include "uninstall.nsh"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$DESKTOP\${PRODUCT}.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\Руководство пользователя.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\Удалить ${PRODUCT}.lnk"
  RMDir "$SMPROGRAMS\${PRODUCT}"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
SectionEnd

Function un.onInit
  SetRegView 64
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 == "Admin"
    SetShellVarContext all
  ${Else}
    SetShellVarContext current
  ${EndIf}
FunctionEnd
