// The Windows file calls of the settings files in one table, so that a test
// can make any one of them fail; the plug-in always uses the system's own.
#pragma once

#include <windows.h>

struct TFileCalls {
  decltype(&::CreateFileW) CreateFile = &::CreateFileW;
  decltype(&::ReadFile) ReadFile = &::ReadFile;
  decltype(&::WriteFile) WriteFile = &::WriteFile;
  decltype(&::FlushFileBuffers) FlushFileBuffers = &::FlushFileBuffers;
  decltype(&::CloseHandle) CloseHandle = &::CloseHandle;
  decltype(&::MoveFileExW) MoveFileEx = &::MoveFileExW;
  decltype(&::MoveFileW) MoveFile = &::MoveFileW;
  decltype(&::DeleteFileW) DeleteFile = &::DeleteFileW;
  decltype(&::RemoveDirectoryW) RemoveDirectory = &::RemoveDirectoryW;
  decltype(&::CreateDirectoryW) CreateDirectory = &::CreateDirectoryW;
};

// The calls in use.
const TFileCalls& FileCalls();
// Tests: calls to use instead of the system's; nullptr: the system's again.
void SetFileCallsForTests(const TFileCalls* calls);
