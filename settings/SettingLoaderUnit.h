// Loading the symbol list from the settings file, creating a missing file
// and migrating the file of earlier versions after asking the user.
#pragma once

#include "SettingHost.h"
#include "StringRecordList.h"

// Fills the (empty) list from the settings file. Raises the errors of
// LoadAnsiStringFromFile and SaveAnsiStringToFile, and EInOutError
// "Error:DeleteFile\r\n<path>" or "Error:MoveFile\r\n<from>\r\n<to>" when a
// migration step fails (the migration then stops with every file where it is
// and the list stays empty).
// The host supplies the plug-in folder and the owner of the questions.
void LoadSettingList(TCommonStringRecordList& list, const TSettingHost& host);

// Test seam: when set, called right before each step of a migration with the
// migration ('A' both files, 'B' only the old file) and the step number.
using TMigrationStepHook = void (*)(char migration, int step);
void SetMigrationStepHook(TMigrationStepHook hook);
