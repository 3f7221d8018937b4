// hostwin: the SetupAPI functions and constants that the programs use (see windows.h).
#ifndef HOSTWIN_SETUPAPI_H
#define HOSTWIN_SETUPAPI_H

#include <windows.h>

typedef PVOID HINF;
typedef PVOID HDEVINFO;
typedef struct _SP_DEVINFO_DATA SP_DEVINFO_DATA, *PSP_DEVINFO_DATA;
typedef UINT(CALLBACK* PSP_FILE_CALLBACK_A)(PVOID Context, UINT Notification, UINT_PTR Param1, UINT_PTR Param2);

#define INF_STYLE_OLDNT 0x00000001
#define INF_STYLE_WIN4 0x00000002

#define SPINST_LOGCONFIG 0x00000001
#define SPINST_INIFILES 0x00000002
#define SPINST_REGISTRY 0x00000004
#define SPINST_INI2REG 0x00000008
#define SPINST_FILES 0x00000010

#define SP_COPY_NEWER 0x00000004
#define SP_COPY_NOSKIP 0x00000400

#define ERROR_SECTION_NOT_FOUND 0xE0000102L

#ifdef __cplusplus
extern "C" {
#endif

HINF WINAPI SetupOpenInfFileA(PCSTR FileName, PCSTR InfClass, DWORD InfStyle, PUINT ErrorLine);
PVOID WINAPI SetupInitDefaultQueueCallback(HWND OwnerWindow);
BOOL WINAPI SetupInstallFromInfSectionA(HWND Owner, HINF InfHandle, PCSTR SectionName, UINT Flags,
                                        HKEY RelativeKeyRoot, PCSTR SourceRootPath, UINT CopyFlags,
                                        PSP_FILE_CALLBACK_A MsgHandler, PVOID Context, HDEVINFO DeviceInfoSet,
                                        PSP_DEVINFO_DATA DeviceInfoData);
UINT WINAPI SetupDefaultQueueCallbackA(PVOID Context, UINT Notification, UINT_PTR Param1, UINT_PTR Param2);
VOID WINAPI SetupTermDefaultQueueCallback(PVOID Context);
VOID WINAPI SetupCloseInfFile(HINF InfHandle);

#ifdef __cplusplus
}
#endif

#endif
