// InstallInfSections and QueueCallback: where both programs hand their INF work to SetupAPI.
#include "zunmek.h"

UINT CALLBACK QueueCallback(PVOID context, UINT notification, UINT_PTR param1, UINT_PTR param2) {
    return SetupDefaultQueueCallbackA(context, notification, param1, param2);
}

void InstallInfSections(const char* infPath, const char* sourceRoot, const InfSection* sections,
                        UINT sectionCount) {
    HINF inf = SetupOpenInfFileA(infPath, NULL, INF_STYLE_WIN4, NULL);
    if (inf == INVALID_HANDLE_VALUE) return;

    // Without a queue context the default callback has nothing to work with: run no section.
    PVOID queueContext = SetupInitDefaultQueueCallback(NULL);
    if (queueContext != NULL) {
        // A failed section does not stop the next one; nothing is retried or undone.
        for (UINT i = 0; i < sectionCount; ++i) {
            SetupInstallFromInfSectionA(NULL, inf, sections[i].name, sections[i].installFlags, NULL, sourceRoot,
                                        sections[i].copyFlags, QueueCallback, queueContext, NULL, NULL);
        }
        SetupTermDefaultQueueCallback(queueContext);
    }
    SetupCloseInfFile(inf);
}
