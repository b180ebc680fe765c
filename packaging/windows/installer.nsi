; Installer of the Vantor companion programs: vntrmap.exe with seghub.dll and
; pathcaster.exe, with the user's guides in English and Japanese, for all
; users of 64-bit Windows.
; makensis -INPUTCHARSET UTF8 -DVERSION=x.y.z -DSOURCE=<folder of the files>
;          -DIMAGES=<folder of wizard.ico, watermark.bmp> -DOUTFILE=<installer>
;          installer.nsi
; Silent with /S (and /D=<folder> last to choose the folder); the uninstaller
; is silent with /S too.
;
; The product's own registry key (HKLM\SOFTWARE\Tarvik\Vantor) belongs to
; the product's setup: this installer neither creates nor removes it.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include x64.nsh

!ifndef VERSION | SOURCE | OUTFILE | IMAGES
  !error "VERSION, SOURCE, OUTFILE and IMAGES must be defined"
!endif

!define PRODUCT "Vantor Companion Programs"
!define PUBLISHER "Tarvik"
!define DEFAULT_FOLDER "$PROGRAMFILES64\Tarvik\Vantor Companion"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\VantorCompanion"
; The wizard keeps its settings and address book here.
!define WIZARD_KEY "SOFTWARE\Tarvik\Vantor Vntrlink"
!define MENU_FOLDER "$SMPROGRAMS\Vantor Companion"
; The mapper's Start-menu entry starts it here, in the common application
; data folder, where any user who starts it may write its log (mapper.log)
; and its log switch ("c:vntr.txt" is vntr.txt here): the installation
; folder is writable by administrators only.
!define MAPPER_FOLDER "$APPDATA\Tarvik\Vantor Companion"
; The group Users, by its well-known SID, whatever the system calls it.
!define USERS_SID "*S-1-5-32-545"
!define MAPPER_PORT 23000
; Named after the programs' own window titles, in every language.
!define MAPPER_LINK "Vantor Mapper for TELNET (${MAPPER_PORT}).lnk"
!define WIZARD_LINK "VNTRLINK.lnk"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "${DEFAULT_FOLDER}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"

!define MUI_ABORTWARNING
; The wizard's own icon and side picture (the watermark of its sheet).
!define MUI_ICON "${IMAGES}/wizard.ico"
!define MUI_UNICON "${IMAGES}/wizard.ico"
!define MUI_WELCOMEFINISHPAGE_BITMAP "${IMAGES}/watermark.bmp"
!define MUI_UNWELCOMEFINISHPAGE_BITMAP "${IMAGES}/watermark.bmp"
; The uninstaller speaks the language the installer was run in (saved by the
; install section too, since a silent install shows no page).
!define MUI_LANGDLL_REGISTRY_ROOT HKLM
!define MUI_LANGDLL_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MUI_LANGDLL_REGISTRY_VALUENAME "InstallerLanguage"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "Japanese"
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_RESERVEFILE_LANGDLL

LangString NeedsX64 ${LANG_JAPANESE} "このプログラムは 64 ビット版の Windows で動作します。"
LangString NeedsX64 ${LANG_ENGLISH} "These programs run on 64-bit Windows."
LangString MapperLinkText ${LANG_JAPANESE} "Vantor の telnet マッパーをポート ${MAPPER_PORT} で起動します"
LangString MapperLinkText ${LANG_ENGLISH} "Starts the Vantor telnet mapper on port ${MAPPER_PORT}"
LangString WizardLinkText ${LANG_JAPANESE} "ホストネームを検出してリンクをメールで送るウィザード"
LangString WizardLinkText ${LANG_ENGLISH} "Finds this PC's host names and mails their links"

!macro VERSION_KEYS LANG
  VIAddVersionKey /LANG=${LANG} "ProductName" "${PRODUCT}"
  VIAddVersionKey /LANG=${LANG} "CompanyName" "${PUBLISHER}"
  VIAddVersionKey /LANG=${LANG} "FileDescription" "${PRODUCT} Setup"
  VIAddVersionKey /LANG=${LANG} "FileVersion" "${VERSION}"
  VIAddVersionKey /LANG=${LANG} "ProductVersion" "${VERSION}"
  VIAddVersionKey /LANG=${LANG} "LegalCopyright" "${PUBLISHER}"
!macroend
VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
!insertmacro VERSION_KEYS ${LANG_JAPANESE}
!insertmacro VERSION_KEYS ${LANG_ENGLISH}

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_OK|MB_ICONSTOP "$(NeedsX64)" /SD IDOK
    Abort
  ${EndIf}
  SetRegView 64
  !insertmacro MUI_LANGDLL_DISPLAY
FunctionEnd

Function un.onInit
  SetRegView 64
  !insertmacro MUI_UNGETLANGUAGE
FunctionEnd

Section "Programs"
  SetOutPath "$INSTDIR"
  File "${SOURCE}\vntrmap.exe"
  File "${SOURCE}\seghub.dll"
  File "${SOURCE}\pathcaster.exe"
  File "${SOURCE}\README-en.txt"
  File "${SOURCE}\README-ja.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  SetShellVarContext all
  CreateDirectory "${MAPPER_FOLDER}"
  ; Whoever started the mapper last, the next user may empty its log.
  nsExec::Exec '"$SYSDIR\icacls.exe" "${MAPPER_FOLDER}" /grant ${USERS_SID}:(OI)(CI)M /Q'
  Pop $0
  CreateDirectory "${MENU_FOLDER}"
  ; A shortcut starts its program in the output folder of its creation.
  SetOutPath "${MAPPER_FOLDER}"
  CreateShortCut "${MENU_FOLDER}\${MAPPER_LINK}" "$INSTDIR\vntrmap.exe" "${MAPPER_PORT}" \
    "$INSTDIR\vntrmap.exe" 0 SW_SHOWNORMAL "" "$(MapperLinkText)"
  SetOutPath "$INSTDIR"
  CreateShortCut "${MENU_FOLDER}\${WIZARD_LINK}" "$INSTDIR\pathcaster.exe" "" \
    "$INSTDIR\pathcaster.exe" 0 SW_SHOWNORMAL "" "$(WizardLinkText)"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\pathcaster.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallerLanguage" $LANGUAGE
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Uninstall"
  SetShellVarContext all
  Delete "${MENU_FOLDER}\${MAPPER_LINK}"
  Delete "${MENU_FOLDER}\${WIZARD_LINK}"
  RMDir "${MENU_FOLDER}"

  Delete "$INSTDIR\vntrmap.exe"
  Delete "$INSTDIR\seghub.dll"
  Delete "$INSTDIR\pathcaster.exe"
  Delete "$INSTDIR\README-en.txt"
  Delete "$INSTDIR\README-ja.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  ${If} "$INSTDIR" == "${DEFAULT_FOLDER}"
    RMDir "$PROGRAMFILES64\Tarvik"
  ${EndIf}
  ; The mapper's diagnostic log and its file switch.
  Delete "${MAPPER_FOLDER}\mapper.log"
  Delete "${MAPPER_FOLDER}\vntr.txt"
  RMDir "${MAPPER_FOLDER}"
  RMDir "$APPDATA\Tarvik"

  ; The wizard keeps its settings in the 32-bit view, beside the product's
  ; 32-bit programs; a version before that kept them in the 64-bit view.
  SetRegView 32
  DeleteRegKey HKLM "${WIZARD_KEY}"
  SetRegView 64
  DeleteRegKey HKLM "${WIZARD_KEY}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
