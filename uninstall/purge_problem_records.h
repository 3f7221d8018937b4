// PurgeProblemRecords: the uninstaller's first step.
#ifndef ZUNMEK_PURGE_PROBLEM_RECORDS_H
#define ZUNMEK_PURGE_PROBLEM_RECORDS_H

// Deletes, from every direct subkey of HKLM\System\CurrentControlSet\Control\ASD\Prob, each value
// whose name begins with one of the mouse's device identifiers. Keys stay; nothing is reported.
void PurgeProblemRecords();

#endif
