; The Windows installer: installs the program folder for the current user, without administrator
; rights, under %LOCALAPPDATA%\Programs\Stitchwell (the program writes into its own folder: the
; work folder Tmps, the transcoder copy, the compression list, the default used-material folder),
; with Start menu and desktop shortcuts. Made by scripts/package-windows with
;   makensis -DVERSION=... -DSOURCE=<program folder> -DOUTFILE=<setup.exe> -DFILELIST=<list.nsh>
; FILELIST holds one "Delete" line per shipped file and one "RMDir" line per shipped folder, so
; that the uninstaller removes what was installed and what the program makes for itself, and
; nothing of the user's.
; A 64-bit installer for a 64-bit program (it runs where the program runs).
Target amd64-unicode
ManifestDPIAware true
!include "MUI2.nsh"

!define APP "Stitchwell"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APP}"

Name "${APP}"
Caption "${APP} ${VERSION} 安装程序"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${APP}"
InstallDirRegKey HKCU "Software\${APP}Setup" "InstallDir"
RequestExecutionLevel user
SetCompressor /SOLID lzma

!define MUI_FINISHPAGE_RUN "$INSTDIR\Stitchwell.exe"
!define MUI_FINISHPAGE_RUN_TEXT "启动 ${APP}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

Section "${APP}"
  SetShellVarContext current
  SetOutPath "$INSTDIR"
  ; An installed copy is upgraded in place: its files are replaced, the settings (in the user's
  ; registry) and the folders of the user's material are left as they are.
  SetOverwrite on
  File /r "${SOURCE}\*.*"
  WriteUninstaller "$INSTDIR\卸载.exe"
  CreateDirectory "$SMPROGRAMS\${APP}"
  CreateShortcut "$SMPROGRAMS\${APP}\${APP}.lnk" "$INSTDIR\Stitchwell.exe"
  CreateShortcut "$SMPROGRAMS\${APP}\卸载 ${APP}.lnk" "$INSTDIR\卸载.exe"
  CreateShortcut "$DESKTOP\${APP}.lnk" "$INSTDIR\Stitchwell.exe"
  WriteRegStr HKCU "Software\${APP}Setup" "InstallDir" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${APP}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Stitchwell.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\卸载.exe"'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetShellVarContext current
  ; The shipped files.
  !include "${FILELIST}"
  ; What the program makes in its own folder.
  RMDir /r "$INSTDIR\Tmps"
  RMDir /r "$INSTDIR\日志"
  Delete "$INSTDIR\Vidforge.exe"
  Delete "$INSTDIR\CompVidforge.exe"
  Delete "$INSTDIR\Pressling.exe"
  Delete "$INSTDIR\CompList.txt"
  Delete "$INSTDIR\Accelerate.mp4"
  Delete "$INSTDIR\Acc.mp4"
  Delete "$INSTDIR\Acc1.mp4"
  Delete "$INSTDIR\Acc2.mp4"
  Delete "$INSTDIR\Acc3.mp4"
  Delete "$INSTDIR\Stitchwell.txt"
  Delete "$INSTDIR\Stitchwell.rar"
  Delete "$INSTDIR\WinRAR.exe"
  Delete "$INSTDIR\Stitchwell.lock"
  Delete "$INSTDIR\Pressling.lock"
  Delete "$INSTDIR\Tmp.mp4"
  Delete "$INSTDIR\Tmp.mp4.log"
  Delete "$INSTDIR\Powerloop.lock"
  Delete "$INSTDIR\更新结果.txt"
  Delete "$INSTDIR\卸载.exe"
  Delete "$SMPROGRAMS\${APP}\${APP}.lnk"
  Delete "$SMPROGRAMS\${APP}\卸载 ${APP}.lnk"
  RMDir "$SMPROGRAMS\${APP}"
  Delete "$DESKTOP\${APP}.lnk"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  DeleteRegKey HKCU "Software\${APP}Setup"
  ; The used material moved into the program folder is the user's: it stays, and the user is told.
  IfFileExists "$INSTDIR\已使用素材\*.*" 0 +2
    MessageBox MB_OK|MB_ICONINFORMATION "已使用素材文件夹保留在：$INSTDIR\已使用素材" /SD IDOK
  ; Removed only when nothing of the user's is left in it.
  RMDir "$INSTDIR"
SectionEnd
